// A shared mutex that lets a waiting writer in before new readers. The
// default (glibc's reader-preferring rwlock behind std::shared_mutex) starves
// writers: threads polling positions and spectra back to back would keep
// BASS_Free or BASS_StreamFree waiting for ever.
#pragma once

#include <pthread.h>

namespace chromola::audio {

class WriterPreferringMutex {
  public:
    WriterPreferringMutex() {
        pthread_rwlockattr_t attr;
        pthread_rwlockattr_init(&attr);
        pthread_rwlockattr_setkind_np(&attr, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
        pthread_rwlock_init(&lock_, &attr);
        pthread_rwlockattr_destroy(&attr);
    }
    ~WriterPreferringMutex() { pthread_rwlock_destroy(&lock_); }
    WriterPreferringMutex(const WriterPreferringMutex&) = delete;
    WriterPreferringMutex& operator=(const WriterPreferringMutex&) = delete;

    void lock() { pthread_rwlock_wrlock(&lock_); }
    void unlock() { pthread_rwlock_unlock(&lock_); }
    // Not recursive: a thread holding it shared must not take it again.
    void lock_shared() { pthread_rwlock_rdlock(&lock_); }
    void unlock_shared() { pthread_rwlock_unlock(&lock_); }

  private:
    pthread_rwlock_t lock_;
};

}  // namespace chromola::audio
