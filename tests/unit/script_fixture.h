// A ScriptUi over an in-memory script with its transcript in a string: the real batch Ui,
// used by unit tests as the user who answers.
#pragma once

#include <QString>
#include <QTextStream>
#include <memory>

#include "db/database.h"
#include "front/script_ui.h"

namespace tolvane::test {

// The program side of a script that only drives windows shown through the seam: every action
// does nothing; tests override the ones they watch.
class QuietHost : public ScriptHost {
  public:
    void route(const QString&) override {}
    void type(const QString&) override {}
    void enter(const QString&) override {}
    void open(const QString&) override {}
    void dblclick(QWidget*, const QPointF&, int) override {}
    void key(QWidget*, const QString&) override {}
    QWidget* activeWindow() override { return nullptr; }
    QList<QWidget*> openWindows() override { return {}; }
    QStringList sql(const QString&, const QString&, int) override { return {}; }
    QStringList entity(QWidget*, const QString&, int) override { return {}; }
};

// A host whose `enter` lines reach the waiting drawing prompt as the command line passes them
// on: typed text answers it, Enter alone ends a list of points.
class CommandLineHost : public QuietHost {
  public:
    explicit CommandLineHost(Ui& ui) : ui_(ui) {}
    void enter(const QString& text) override {
        if (text.isEmpty())
            ui_.submitEnd();
        else
            ui_.submitTyped(text);
    }

  private:
    Ui& ui_;
};

struct ScriptedUser {
    explicit ScriptedUser(const QString& script)
        : stream(&transcript), ui(std::make_unique<ScriptUi>(parseScript(script), stream)) {}
    QString transcript;
    QTextStream stream;
    std::unique_ptr<ScriptUi> ui;
    QStringList lines() const { return transcript.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    // From now on, the questions asked while a write transaction of the project database of
    // registry is open go to askedWhileWriting: a user thinking holds the database from others.
    void watchTransactions(const db::Connections& registry) {
        ui->onQuestion = [this, &registry](const QString& what) {
            if (registry.openTransactions(db::DbId::Project) > 0) askedWhileWriting << what;
        };
    }
    QStringList askedWhileWriting;
};

}  // namespace tolvane::test
