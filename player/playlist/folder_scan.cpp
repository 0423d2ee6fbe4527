#include "playlist/folder_scan.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>

#include "playlist/opened_paths.h"

namespace chromola {

namespace {

// A run goes once this long has passed since the last one, or once it holds
// this many files: the list grows smoothly and no run keeps the event loop
// from the keys for long.
constexpr auto kRunInterval = std::chrono::milliseconds(20);
constexpr qsizetype kRunFiles = 1024;

}  // namespace

// What the walker and the starting thread share. The walker adds to
// `pending` and wakes the starting thread through `wake` once per delivery;
// the starting thread takes `pending` when it wakes. All of it under
// `mutex`. The wake-up goes through a file descriptor rather than Qt's
// queued calls so that the hand-over is one the thread sanitizer can see.
struct FolderScan::Shared {
    Shared() : wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Shared() {
        if (wake >= 0) {
            close(wake);
        }
    }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    const int wake;
    // Read by the walker at each folder, to stop without taking the mutex.
    std::atomic<bool> stopped{false};
    std::mutex mutex;
    std::condition_variable ended;
    QString folder;
    QStringList pending;
    bool done = false;
    bool woken = false;
    bool walkerEnded = false;

    // On the walker: hands `names` over. False once the scan is stopped.
    bool Hand(QStringList& names, bool last) {
        const std::lock_guard lock(mutex);
        if (stopped) {
            return false;
        }
        pending.append(std::move(names));
        names.clear();
        done = last;
        if (!woken) {
            woken = true;
            const std::uint64_t one = 1;
            [[maybe_unused]] const ssize_t written = write(wake, &one, sizeof one);
        }
        return true;
    }
};

FolderScan::FolderScan(QStringList paths, std::function<void(Found)> found)
    : found_(std::move(found)), shared_(std::make_shared<Shared>()) {
    wakeUps_ = std::make_unique<QSocketNotifier>(shared_->wake, QSocketNotifier::Read);
    QObject::connect(wakeUps_.get(), &QSocketNotifier::activated, wakeUps_.get(),
                     [this] { Deliver(); });
    walker_ = std::thread([shared = shared_, paths = std::move(paths)] {
        const QString common = OpenedPathsFolder(paths);
        const QString folder = common.endsWith(u'/') ? common : common + u'/';
        {
            const std::lock_guard lock(shared->mutex);
            shared->folder = folder;
        }
        QStringList run;
        bool first = true;
        auto lastRun = std::chrono::steady_clock::now();
        WalkOpenedPaths(paths, [&](const QString& in, QStringList files) {
            const QString subfolder = in.mid(folder.size());
            for (const QString& file : files) {
                run.append(subfolder + file);
            }
            if (shared->stopped.load(std::memory_order_relaxed)) {
                return false;
            }
            const auto now = std::chrono::steady_clock::now();
            if (run.isEmpty() ||
                (!first && run.size() < kRunFiles && now - lastRun < kRunInterval)) {
                return true;
            }
            first = false;
            lastRun = now;
            return shared->Hand(run, false);
        });
        shared->Hand(run, true);
        const std::lock_guard lock(shared->mutex);
        shared->walkerEnded = true;
        shared->ended.notify_all();
    });
}

void FolderScan::Deliver() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(shared_->wake, &count, sizeof count);
    Found run;
    {
        const std::lock_guard lock(shared_->mutex);
        if (!shared_->woken) {
            return;
        }
        shared_->woken = false;
        run.folder = shared_->folder;
        run.names = std::exchange(shared_->pending, {});
        run.done = shared_->done;
    }
    found_(std::move(run));
}

FolderScan::~FolderScan() {
    wakeUps_.reset();
    std::unique_lock lock(shared_->mutex);
    shared_->stopped = true;
    const bool ended = shared_->ended.wait_for(lock, std::chrono::milliseconds(kStopDeadlineMs),
                                               [this] { return shared_->walkerEnded; });
    lock.unlock();
    if (ended) {
        walker_.join();
    } else {
        walker_.detach();
    }
}

}  // namespace chromola
