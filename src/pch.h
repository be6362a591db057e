// Precompiled header: the Qt headers nearly every file of the program includes.
#pragma once

#include <QtCore>
#include <QtGui>
#include <QtWidgets>
