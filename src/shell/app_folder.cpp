// Locating, creating and filling the application folder.
#include "shell/app_folder.h"

#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <cerrno>

#include "shell/app_error.h"

namespace tolvane::appfolder {

QString resolve(const QString& homeOption) {
    QString dir = homeOption;
    if (dir.isEmpty()) dir = qEnvironmentVariable("TOLVANE_HOME");
    if (dir.isEmpty()) {
        QString data = qEnvironmentVariable("XDG_DATA_HOME");
        if (data.isEmpty()) data = QDir::homePath() + QStringLiteral("/.local/share");
        dir = data + QStringLiteral("/tolvane");
    }
    return QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
}

QString resourceFolder() {
    const QString env = qEnvironmentVariable("TOLVANE_RESOURCES");
    if (!env.isEmpty() && QFileInfo(env).isDir()) return QDir::cleanPath(env);
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tolvane/resources");
    if (QFileInfo(installed).isDir()) return QDir::cleanPath(installed);
    return QStringLiteral(TOLVANE_SOURCE_RESOURCES);
}

std::optional<QString> prepare(const QString& folder) {
    QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return QStringLiteral("%1 is a file, not a folder.").arg(folder);
    if (!QDir().mkpath(folder)) return QStringLiteral("%1 cannot be created.").arg(folder);
    {
        QTemporaryFile probe(folder + QStringLiteral("/.write-test-XXXXXX"));
        if (!probe.open()) return QStringLiteral("%1 is not writable.").arg(folder);
    }
    // Installed resources that belong in the application folder; icons stay compiled in.
    const QString from = resourceFolder();
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString relative = QDir(from).relativeFilePath(source);
        if (relative.startsWith(QLatin1String("icons/"))) continue;
        const QString target = QDir(folder).filePath(relative);
        if (QFileInfo::exists(target)) continue;
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target))
            return QStringLiteral("%1 cannot be written.").arg(target);
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    }
    // The folder the block browser lists, empty until the user puts block files there.
    if (findNoCase(folder, QStringLiteral("Block Libraries")).isEmpty() &&
        !QDir(folder).mkdir(QStringLiteral("Block Libraries")))
        return QStringLiteral("%1 cannot be created.")
            .arg(folder + QStringLiteral("/Block Libraries"));
    return std::nullopt;
}

QString findNoCase(const QString& folder, const QString& name) {
    const QString exact = QDir(folder).filePath(name);
    if (QFileInfo::exists(exact)) return exact;
    const QDir dir(folder);
    for (const QString& entry :
         dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        if (entry.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
    return {};
}

void copyOver(const QString& source, const QString& target) {
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(source, part))
        throw AppError(err::kPathFileAccess,
                       QStringLiteral("Unable to copy %1 to %2").arg(source, target));
    // A copy of a read-only file is read-only too; the copy is ours to change.
    QFile::setPermissions(part, QFile::permissions(part) | QFileDevice::WriteOwner);
    QFile::remove(target);
    if (!QFile::rename(part, target)) {
        QFile::remove(part);
        throw AppError(err::kPathFileAccess,
                       QStringLiteral("Unable to copy %1 to %2").arg(source, target));
    }
}

QString workFolderTemplate(const QString& prefix, const QString& in) {
    return QDir(in.isEmpty() ? QDir::tempPath() : in)
        .filePath(
            QStringLiteral("%1-%2-XXXXXX").arg(prefix).arg(QCoreApplication::applicationPid()));
}

int removeStaleWorkFolders(const QString& prefix, const QString& in) {
    const QDir folder(in.isEmpty() ? QDir::tempPath() : in);
    const QString start = prefix + QLatin1Char('-');
    int removed = 0;
    for (const QString& name :
         folder.entryList({start + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid =
            name.mid(start.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&number);
        if (!number || pid <= 0) continue;
        // Signal 0 only asks whether the process is there; EPERM: there, another user's.
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
        if (QDir(folder.filePath(name)).removeRecursively()) ++removed;
    }
    return removed;
}

}  // namespace tolvane::appfolder
