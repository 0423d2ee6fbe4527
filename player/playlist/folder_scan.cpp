#include "playlist/folder_scan.h"

#include <QMetaObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "playlist/opened_paths.h"

namespace chromola {

namespace {

// A run goes once this long has passed since the last one, or once it holds
// this many files: the list grows smoothly and no run keeps the event loop
// from the keys for long.
constexpr auto kRunInterval = std::chrono::milliseconds(50);
constexpr qsizetype kRunFiles = 4096;

}  // namespace

// What the walker and the starting thread share. The walker adds to
// `pending` and posts one delivery at a time to `receiver`; the starting
// thread takes `pending` in that delivery. All of it under `mutex`, except
// `found`, which only the starting thread calls.
struct FolderScan::Shared {
    std::function<void(Found)> found;
    // Read by the walker at each folder, to stop without taking the mutex.
    std::atomic<bool> stopped{false};
    std::mutex mutex;
    std::condition_variable ended;
    QObject* receiver = nullptr;  // null once the scan is stopped
    QString folder;
    QStringList pending;
    bool done = false;
    bool posted = false;
    bool walkerEnded = false;

    // On the walker: hands `names` over, waking the starting thread unless a
    // wake-up is already on its way. False once the scan is stopped.
    bool Hand(QStringList& names, bool last, const std::shared_ptr<Shared>& self) {
        const std::lock_guard lock(mutex);
        if (receiver == nullptr) {
            return false;
        }
        pending.append(std::move(names));
        names.clear();
        done = last;
        if (!posted) {
            posted = true;
            QMetaObject::invokeMethod(
                receiver, [self] { self->Deliver(); }, Qt::QueuedConnection);
        }
        return true;
    }

    // On the starting thread.
    void Deliver() {
        Found run;
        {
            const std::lock_guard lock(mutex);
            posted = false;
            run.folder = folder;
            run.names = std::exchange(pending, {});
            run.done = done;
        }
        found(std::move(run));
    }
};

FolderScan::FolderScan(QStringList paths, std::function<void(Found)> found)
    : shared_(std::make_shared<Shared>()), receiver_(std::make_unique<QObject>()) {
    shared_->found = std::move(found);
    shared_->receiver = receiver_.get();
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
        WalkOpenedPaths(paths, [&](QStringList files) {
            for (const QString& file : files) {
                run.append(file.mid(folder.size()));
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
            return shared->Hand(run, false, shared);
        });
        shared->Hand(run, true, shared);
        const std::lock_guard lock(shared->mutex);
        shared->walkerEnded = true;
        shared->ended.notify_all();
    });
}

FolderScan::~FolderScan() {
    shared_->stopped = true;
    std::unique_lock lock(shared_->mutex);
    shared_->receiver = nullptr;
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
