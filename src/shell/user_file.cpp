// The guarded read of a user's file. The type is checked on the path before the open (so
// that a device is never opened) and again on the open file (the path may have changed in
// between); the open is non-blocking, so that a pipe put there meanwhile cannot hold it.
#include "shell/user_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tolvane {

namespace {

// Why a file of this mode is not read; empty for a regular file.
QString kindRefusal(mode_t mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISDIR(mode)) return QStringLiteral("it is a folder, not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("it is a device, not a file");
    if (S_ISFIFO(mode)) return QStringLiteral("it is a named pipe, not a file");
    return QStringLiteral("it is not a regular file");
}

QString sizeRefusal(qint64 limit) {
    return QStringLiteral("it is larger than %1").arg(sizeText(limit));
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

QString sizeText(qint64 bytes) {
    constexpr qint64 kMB = 1024 * 1024;
    if (bytes < kMB) return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes % kMB == 0) return QStringLiteral("%1 MB").arg(bytes / kMB);
    return QStringLiteral("%1 MB").arg(QLocale::c().toString(double(bytes) / kMB, 'f', 1));
}

UserFile readUserFile(const QString& path, qint64 limit) {
    UserFile out;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        out.error = systemError(errno);
        return out;
    }
    out.error = kindRefusal(st.st_mode);
    if (!out.ok()) return out;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        out.error = systemError(errno);
        return out;
    }
    // What was opened is what is read: it is checked again.
    out.error = ::fstat(fd, &st) == 0 ? kindRefusal(st.st_mode) : systemError(errno);
    if (out.ok() && st.st_size > limit) out.error = sizeRefusal(limit);
    // Read to the end but never more than one byte past the limit, so that a file that grows
    // while it is read is refused too.
    qint64 got = 0;
    if (out.ok()) {
        out.bytes.resize(qsizetype(std::min<qint64>(st.st_size, limit) + 1));
        for (;;) {
            if (got == out.bytes.size()) {
                if (got > limit) {
                    out.error = sizeRefusal(limit);
                    break;
                }
                out.bytes.resize(qsizetype(std::min(limit + 1, 2 * got)));
            }
            const ssize_t n = ::read(fd, out.bytes.data() + got, size_t(out.bytes.size() - got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) out.error = systemError(errno);
            if (n <= 0) break;
            got += n;
        }
    }
    ::close(fd);
    if (!out.ok()) {
        out.bytes.clear();
        return out;
    }
    out.bytes.truncate(qsizetype(got));
    return out;
}

}  // namespace tolvane
