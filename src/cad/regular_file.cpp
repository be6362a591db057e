#include "cad/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tolvane::cad {

bool openRegularFile(const QString& path, QFile& file, QString* reason, bool* missing) {
    if (missing) *missing = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (missing) *missing = errno == ENOENT || errno == ENOTDIR;
        *reason = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *reason = QStringLiteral("it is not a regular file");
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *reason = file.errorString();
        return false;
    }
    return true;
}

}  // namespace tolvane::cad
