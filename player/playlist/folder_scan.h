// Opening a folder tree of any size without keeping the user waiting: a
// thread of its own walks the opened paths (WalkOpenedPaths) and hands what
// it finds to the thread that started it, through that thread's event loop,
// in runs. The first run goes as soon as the first folder with audio files
// has been read, so that its first file can sound while the rest of the tree
// is still being read; later runs go every few tens of milliseconds. No
// widgets; reads only the file system.
#pragma once

#include <QSocketNotifier>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <thread>

namespace chromola {

class FolderScan {
  public:
    // One run of files, in their final order after those of the runs before.
    struct Found {
        // The deepest folder of the opened paths, ending in '/': every name
        // of every run is relative to it.
        QString folder;
        QStringList names;
        // The last run: the walk is over.
        bool done = false;
    };

    // Starts walking `paths`. `found` is called on the calling thread, from
    // its event loop, once for each run and once with `done`; it must not
    // destroy the scan.
    FolderScan(QStringList paths, std::function<void(Found)> found);
    // Stops the walk. The walker is waited for until the folder it reads is
    // read, `kStopDeadlineMs` at most (a hung network share); past that it is
    // left to end on its own, touching nothing but its own state. Nothing is
    // handed over after this.
    ~FolderScan();
    FolderScan(const FolderScan&) = delete;
    FolderScan& operator=(const FolderScan&) = delete;

    static constexpr int kStopDeadlineMs = 500;

  private:
    struct Shared;

    // On the calling thread: takes what the walker has handed over.
    void Deliver();

    std::function<void(Found)> found_;
    std::shared_ptr<Shared> shared_;
    // Watches the walker's wake-ups (an eventfd of the shared state, which
    // stays open while a walker left behind may still write to it).
    std::unique_ptr<QSocketNotifier> wakeUps_;
    std::thread walker_;
};

}  // namespace chromola
