#include "remote/remote_secret.h"

#include "common/settings_location.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

namespace chromola {

namespace {

QByteArray NewSecret() {
    std::array<unsigned char, kRemoteSecretLength / 2> bits{};
    std::size_t got = 0;
    while (got < bits.size()) {
        const ssize_t n = getrandom(bits.data() + got, bits.size() - got, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {};
        }
        got += static_cast<std::size_t>(n);
    }
    return QByteArray(reinterpret_cast<const char*>(bits.data()), bits.size()).toHex();
}

// Reads the file only when it is a regular file of this user's that nobody
// else may read or write; never follows a link.
QByteArray ReadPrivateFile(const QByteArray& path) {
    const int fd = open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return {};
    }
    QByteArray text;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
        (info.st_mode & 077) == 0 && info.st_size <= 64) {
        char buffer[65];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text = QByteArray(buffer, n);
        }
    }
    close(fd);
    return text;
}

// A new file with only the owner's rights (O_EXCL: never an existing one or
// a link), moved over the old name in one step.
bool WritePrivateFile(const QByteArray& path, const QByteArray& text) {
    QByteArray temporary = path + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);  // O_EXCL, mode 0600
    if (fd < 0) {
        return false;
    }
    const QByteArray line = text + '\n';
    bool ok = fchmod(fd, 0600) == 0 && write(fd, line.constData(), line.size()) == line.size() &&
              fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.constData(), path.constData()) == 0;
    if (!ok) {
        unlink(temporary.constData());
    }
    return ok;
}

}  // namespace

QString RemoteSecretPath() {
    return RemoteSecretFilePath();
}

bool IsRemoteSecret(const QByteArray& text) {
    if (text.size() != kRemoteSecretLength) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

bool SecretsMatch(const QByteArray& given, const QByteArray& expected) {
    unsigned difference = given.size() == expected.size() ? 0u : 1u;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const char g = i < given.size() ? given[i] : '\0';
        difference |= static_cast<unsigned char>(g ^ expected[i]);
    }
    return difference == 0 && !expected.isEmpty();
}

QByteArray LoadRemoteSecret(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    QByteArray text = ReadPrivateFile(name);
    if (text.endsWith('\n')) {
        text.chop(1);
    }
    if (IsRemoteSecret(text)) {
        return text;
    }
    return RenewRemoteSecret(path);
}

QByteArray RenewRemoteSecret(const QString& path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    mkdir(QFile::encodeName(QFileInfo(QFileInfo(path).absolutePath()).absolutePath()).constData(),
          0700);
    mkdir(folder.constData(), 0700);
    const QByteArray secret = NewSecret();
    if (secret.isEmpty() || !WritePrivateFile(QFile::encodeName(path), secret)) {
        std::fprintf(stderr, "chromola: remote: cannot keep a secret in %s\n",
                     QFile::encodeName(path).constData());
        return {};
    }
    return secret;
}

}  // namespace chromola
