// The check of drivers, engine version, application folder and fonts.
#include "shell/system_check.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryFile>

#include "ui/ui.h"

namespace tolvane {

namespace {
const char* kMinimumSqlite = "3.35";  // RETURNING, DROP COLUMN
}

QStringList SystemCheck::installedDrivers() {
    return QSqlDatabase::drivers();
}

bool SystemCheck::versionAtLeast(const QString& version, const QString& minimum) {
    if (version.isEmpty() || version == QLatin1String("Not Found")) return false;
    const QStringList a = version.split(QLatin1Char('.'));
    const QStringList b = minimum.split(QLatin1Char('.'));
    for (int i = 0; i < qMax(a.size(), b.size()); ++i) {
        const int x = i < a.size() ? a[i].toInt() : 0;
        const int y = i < b.size() ? b[i].toInt() : 0;
        if (x != y) return x > y;
    }
    return true;
}

QVector<CheckFinding> SystemCheck::run() const {
    QVector<CheckFinding> findings;
    const bool sqlite = drivers_.contains(QStringLiteral("QSQLITE"));
    findings.push_back({QStringLiteral("SQLite driver"),
                        sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("Not Found"), sqlite,
                        QStringLiteral("Install the package libqt6sql6-sqlite.")});
    // Only shared mode reaches a PostgreSQL server; a single-user installation is told the
    // driver is missing without being asked to act.
    const bool psql = drivers_.contains(QStringLiteral("QPSQL"));
    const bool shared = mode_ == DatabaseMode::Shared;
    findings.push_back(
        {QStringLiteral("PostgreSQL driver (shared mode)"),
         psql ? QStringLiteral("QPSQL")
              : (shared ? QStringLiteral("Not Found")
                        : QStringLiteral("Not Found, not needed in single-user mode")),
         psql || !shared, QStringLiteral("Install the package libqt6sql6-psql.")});

    QString engine = QStringLiteral("Not Found");
    if (sqlite && QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        const QString name = QStringLiteral("tolvane-system-check");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QStringLiteral(":memory:"));
            if (db.open()) {
                QSqlQuery q(db);
                if (q.exec(QStringLiteral("select sqlite_version()")) && q.next())
                    engine = q.value(0).toString();
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(name);
    }
    findings.push_back({QStringLiteral("SQLite engine"), engine,
                        versionAtLeast(engine, QLatin1String(kMinimumSqlite)),
                        QStringLiteral("SQLite %1 or later is needed.").arg(kMinimumSqlite)});

    QTemporaryFile probe(appFolder_ + QStringLiteral("/.write-test-XXXXXX"));
    const bool writable = probe.open();
    findings.push_back({QStringLiteral("Application folder"), appFolder_, writable,
                        QStringLiteral("Make the folder writable or start with --home DIR.")});

    const QStringList families = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                                     ? QFontDatabase::families()
                                     : QStringList();
    findings.push_back({QStringLiteral("Fonts"),
                        QString::number(families.size()) + QStringLiteral(" families"),
                        !families.isEmpty(), QStringLiteral("Install fonts-dejavu-core.")});
    return findings;
}

bool SystemCheck::allPassed(const QVector<CheckFinding>& findings) {
    for (const auto& f : findings)
        if (!f.passed) return false;
    return true;
}

QString SystemCheck::report(const QVector<CheckFinding>& findings) {
    QStringList lines;
    lines << (allPassed(findings)
                  ? QStringLiteral("Tolvane found every component it relies on:")
                  : QStringLiteral("Tolvane found problems with the components it relies on:"));
    for (const auto& f : findings) {
        lines << QStringLiteral("%1: %2 - %3")
                     .arg(f.component, f.version,
                          f.passed ? QStringLiteral("None Required")
                                   : QStringLiteral("Action Required"));
        if (!f.passed) lines << QStringLiteral("    ") + f.action;
    }
    return lines.join(QStringLiteral("\r\n"));
}

bool SystemCheck::runAndShow(Ui& ui, Show when) const {
    const QVector<CheckFinding> findings = run();
    const bool passed = allPassed(findings);
    if (!passed || when == Show::Always)
        ui.message(report(findings), MsgButtons::Ok,
                   passed ? MsgIcon::Information : MsgIcon::Warning);
    return passed;
}

}  // namespace tolvane
