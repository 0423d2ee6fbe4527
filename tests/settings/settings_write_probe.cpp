// Writes a full set of settings and exits 0 when the store reported success.
// Run under a small file-size limit it shows what a full disk does to the
// file. With the argument "no-links" it first takes away hard links and
// unnamed temporary files, as on vfat, exFAT and some network mounts.
#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include "settings/settings_store.h"

namespace {

constexpr int kCannotLimit = 77;

// link() and linkat() fail as vfat makes them fail, and so does opening an
// unnamed temporary file, for this process and its children.
bool RefuseLinks() {
#if defined(__x86_64__)
    constexpr __u32 kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr __u32 kArch = AUDIT_ARCH_AARCH64;
#else
    return false;
#endif
    std::vector<sock_filter> filter = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    // Refuses `call` with `error`; with `flags` (an argument's index), only
    // when that argument's low half asks for an unnamed file.
    const auto refuse = [&filter](int call, int error, int flags = -1) {
        filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
        const __u8 past = flags < 0 ? 1 : 3;  // the instructions that refuse
        filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(call), 0, past));
        if (flags >= 0) {
            const auto at = offsetof(seccomp_data, args) + flags * sizeof(__u64);
            filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<__u32>(at)));
            filter.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_TMPFILE & ~O_DIRECTORY, 0, 1));
        }
        filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | error));
    };
    refuse(SYS_linkat, EPERM);
    refuse(SYS_openat, EOPNOTSUPP, 2);
#ifdef SYS_link
    refuse(SYS_link, EPERM);
    refuse(SYS_open, EOPNOTSUPP, 1);
#endif
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
    if (argc > 1 && std::strcmp(argv[1], "no-links") == 0 && !RefuseLinks()) {
        return kCannotLimit;
    }
    QCoreApplication app(argc, argv);
    chromola::StoredSettings settings;
    settings.path = QString(4000, QLatin1Char('x'));
    settings.scroll = 30;
    return chromola::SettingsStore::Write(settings, QLocale::c()) ? 0 : 1;
}
