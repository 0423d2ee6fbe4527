#include "desktop/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <cerrno>
#include <string>

namespace chromola {

InstanceLock::Result InstanceLock::TryLock() {
    if (fd_ >= 0) {
        return Result::kLocked;
    }
    const QByteArray path = QFile::encodeName(path_);
    // A holder that is leaving removes the file before it lets go: a lock
    // taken on a file that is no longer at the path is taken again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            return Result::kUnavailable;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            close(fd);
            return error == EWOULDBLOCK ? Result::kHeld : Result::kUnavailable;
        }
        struct stat locked {};
        struct stat named {};
        if (fstat(fd, &locked) == 0 && stat(path.constData(), &named) == 0 &&
            locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
            // Who holds it, for people looking; nothing reads it.
            const std::string pid = std::to_string(getpid()) + '\n';
            if (ftruncate(fd, 0) == 0) {
                [[maybe_unused]] const ssize_t written = write(fd, pid.data(), pid.size());
            }
            fd_ = fd;
            return Result::kLocked;
        }
        close(fd);
    }
    return Result::kUnavailable;
}

void InstanceLock::Unlock() {
    if (fd_ < 0) {
        return;
    }
    unlink(QFile::encodeName(path_).constData());
    close(fd_);
    fd_ = -1;
}

}  // namespace chromola
