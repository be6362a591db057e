// Precompiled header of the windows (app/ and front/): the Qt headers nearly all of them include.
#pragma once

#include <QtCore>
#include <QtGui>
#include <QtWidgets>
