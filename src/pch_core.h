// Precompiled header of the domain libraries: the Qt headers nearly every file of them includes.
// No widgets: a service that includes a widget header does not build.
#pragma once

#include <QtCore>
#include <QtGui>
#include <QtSql>
