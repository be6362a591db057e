// The event log writer.
#include "shell/event_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tolvane {

QString EventLog::path() const {
    return QDir(folder_).filePath(fileName());
}

void EventLog::log(const QString& line) {
    if (!enabled()) return;
    QFile file(path());
    // Append mode creates a missing file, which then holds this line first.
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        const QByteArray bytes = line.toUtf8() + "\r\n";
        if (file.write(bytes) == bytes.size() && file.flush()) return;
    }
    const QString reason = file.errorString();
    broken_ = true;
    const int number = QFileInfo(folder_).isDir() ? err::kPathFileAccess : err::kPathNotFound;
    const AppError error(number,
                         QStringLiteral("Path/File access error: %1 (%2)").arg(path(), reason));
    if (onFailure_) onFailure_(error);
}

}  // namespace tolvane
