// The tick thread: what ticks hand to the owner runs on the owner's thread
// unless the owner started or stopped the ticks in between, a tick may stop
// the ticks, and a clock that cannot be made leaves nothing open. Meant for
// the thread sanitizer too.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "main_window/thread_clock.h"

namespace chromola {
namespace {

// Runs the owner's event loop until `done` holds; false after 30 s.
template <typename Done>
bool RunUntil(Done done) {
    const QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Waits, without running the owner's event loop, until `done` holds.
template <typename Done>
bool WaitUntil(Done done) {
    const QDeadlineTimer deadline(30000);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(ThreadClockTest, HandOversRunOnTheOwnerUnlessItStartedOrStoppedTheTicksMeanwhile) {
    std::mutex mutex;
    int phase = 1;                 // guarded by mutex: the tick hands it over
    std::vector<int> ran;          // owner only
    std::atomic<int> queuedIn{0};  // the last phase a tick handed over in
    std::unique_ptr<ThreadClock> clock;
    clock = ThreadClock::Create(
        [&] {
            int now = 0;
            {
                std::lock_guard lock(mutex);
                now = phase;
            }
            clock->RunOnOwner([&ran, now, owner = std::this_thread::get_id()] {
                EXPECT_NE(std::this_thread::get_id(), owner) << "ran on the tick thread";
                ran.push_back(now);
            });
            queuedIn.store(now);
        },
        [] {});
    ASSERT_NE(clock, nullptr);

    // Phase 1's hand-overs wait for the owner's event loop, which first
    // stops the ticks: they are dropped.
    clock->StartTicks();
    QCoreApplication::processEvents();  // the timer runs from here
    ASSERT_TRUE(WaitUntil([&] { return queuedIn.load() == 1; }));
    clock->StopTicks();
    ran.clear();  // what a busy owner may have run before its stop
    {
        std::lock_guard lock(mutex);
        phase = 2;
    }
    clock->StartTicks();
    ASSERT_TRUE(RunUntil([&] { return !ran.empty(); }));
    clock->StopTicks();
    EXPECT_EQ(ran.front(), 2) << "a hand-over from before the stop ran";
}

TEST(ThreadClockTest, ATickThatStopsTheTicksIsTheLastAndItsHandOverStillRuns) {
    std::atomic<int> ticks{0};
    bool handedOver = false;
    std::unique_ptr<ThreadClock> clock;
    clock = ThreadClock::Create(
        [&] {
            ticks.fetch_add(1);
            clock->StopTicks();
            clock->RunOnOwner([&] { handedOver = true; });
        },
        [] {});
    ASSERT_NE(clock, nullptr);
    clock->StartTicks();
    ASSERT_TRUE(RunUntil([&] { return handedOver; }));
    EXPECT_FALSE(clock->Ticking());
    // Five intervals more: a tick after the stop would have come by then.
    std::this_thread::sleep_for(std::chrono::milliseconds(5 * Clock::kTickMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(ticks.load(), 1);
}

// With room for one descriptor more the timer opens and the owner's wake-up
// cannot: no clock, and the timer is closed again.
TEST(ThreadClockTest, AClockThatCannotBeMadeLeavesNoDescriptorOpen) {
    // Made once with room to spare first: UBSan's type check on a new
    // object, which needs descriptors of its own, has then seen the type.
    ASSERT_NE(ThreadClock::Create([] {}, [] {}), nullptr);
    const int lowestFree = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree) + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    errno = 0;
    std::unique_ptr<ThreadClock> clock = ThreadClock::Create([] {}, [] {});
    const int error = errno;
    const int next = open("/dev/null", O_RDONLY | O_CLOEXEC);
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(clock, nullptr);
    EXPECT_EQ(error, EMFILE);
    EXPECT_EQ(next, lowestFree) << "a descriptor was left open";
    if (next >= 0) {
        close(next);
    }
}

}  // namespace
}  // namespace chromola
