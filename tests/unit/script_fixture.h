// A ScriptUi over an in-memory script with its transcript in a string: the real batch Ui,
// used by unit tests as the user who answers.
#pragma once

#include <QString>
#include <QTextStream>
#include <memory>

#include "ui/script_ui.h"

namespace tolvane::test {

struct ScriptedUser {
    explicit ScriptedUser(const QString& script)
        : stream(&transcript), ui(std::make_unique<ScriptUi>(parseScript(script), stream)) {}
    QString transcript;
    QTextStream stream;
    std::unique_ptr<ScriptUi> ui;
    QStringList lines() const { return transcript.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

}  // namespace tolvane::test
