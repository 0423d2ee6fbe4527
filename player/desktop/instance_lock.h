// The lock that makes one player per user: an advisory lock (flock) on a
// file in the user's runtime folder. The kernel lets it go when its holder
// ends however it ends, so a crashed player never leaves a lock behind, and
// taking it writes nothing to the disk (a lock file that had to be synced,
// as QLockFile's is, costs the start milliseconds on a runtime folder that
// is no tmpfs). Players that used QLockFile on the same file respect it:
// QLockFile takes the same advisory lock.
#pragma once

#include <QString>

#include <utility>

namespace chromola {

class InstanceLock {
  public:
    enum class Result {
        kLocked,       // this process holds it now
        kHeld,         // another live process holds it
        kUnavailable,  // the file cannot be made or locked at all
    };

    explicit InstanceLock(QString path) : path_(std::move(path)) {}
    ~InstanceLock() { Unlock(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result TryLock();
    // Removes the file and lets the lock go; nothing when not held.
    void Unlock();

  private:
    QString path_;
    int fd_ = -1;
};

}  // namespace chromola
