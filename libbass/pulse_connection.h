// What the output and the capture share to reach the sound server through
// libpulse's asynchronous API: a threaded main loop with its lock, a
// connection that never spawns a server, and waits that end at a deadline,
// so that a server that took the connection but froze never holds a caller.
#pragma once

#include <pulse/pulseaudio.h>

namespace chromola::audio {

// A main loop thread of its own. Callbacks run on it with its lock held;
// any other thread that touches the loop's objects takes the lock first.
class PulseLoop {
  public:
    // Throws Error(MEM).
    explicit PulseLoop(const char* threadName);
    // Stops the thread, then frees the loop: whatever ran on it (contexts,
    // streams, timers) must have been closed under the lock before.
    ~PulseLoop();
    PulseLoop(const PulseLoop&) = delete;
    PulseLoop& operator=(const PulseLoop&) = delete;

    // Starts the thread; throws Error(MEM).
    void start();
    pa_threaded_mainloop* get() const { return loop_; }
    pa_mainloop_api* api() const { return pa_threaded_mainloop_get_api(loop_); }
    // Wakes a thread in waitUntil().
    void signal() const { pa_threaded_mainloop_signal(loop_, 0); }

    // With the lock held: waits, letting go of the lock meanwhile, until
    // done() holds, `context` fails or `timeout` has passed; returns
    // done(). Whatever done() looks at must call signal() when it changes.
    template <class Done>
    bool waitUntil(pa_context* context, pa_usec_t timeout, Done&& done) const {
        Alarm alarm{this};
        pa_time_event* event = arm(context, timeout, alarm);
        while (!done() && !alarm.rang && PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            pa_threaded_mainloop_wait(loop_);
        api()->time_free(event);
        return done();
    }

  private:
    struct Alarm {
        const PulseLoop* loop;
        bool rang = false;
    };
    // Throws Error(MEM).
    pa_time_event* arm(pa_context* context, pa_usec_t timeout, Alarm& alarm) const;

    pa_threaded_mainloop* loop_;
    bool started_ = false;
};

// Holds a loop's lock for its lifetime; never on the loop's own thread.
class PulseLock {
  public:
    explicit PulseLock(const PulseLoop& loop) : loop_(loop.get()) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~PulseLock() { pa_threaded_mainloop_unlock(loop_); }
    PulseLock(const PulseLock&) = delete;
    PulseLock& operator=(const PulseLock&) = delete;

  private:
    pa_threaded_mainloop* loop_;
};

// A new context on `loop`, connecting to the default server without ever
// starting one (that would cost time and leave a daemon behind); nullptr
// when there is no server socket at all. onState runs on every change of
// state and must call loop.signal(). The caller holds the lock if the loop
// runs, and closes the context with closePulseContext().
pa_context* connectPulseContext(const PulseLoop& loop, pa_context_notify_cb_t onState, void* user);

enum class PulseConnected { Ready, Refused, NoAnswer };

// With the lock held: waits for the context to be ready. The server must
// answer its first message within answerTimeout (or it counts as absent)
// and finish the handshake within readyTimeout after that. Refused: the
// server closed or failed the connection.
PulseConnected awaitPulseContext(const PulseLoop& loop, pa_context* context,
                                 pa_usec_t answerTimeout, pa_usec_t readyTimeout);

// With the lock held (if the loop runs): disconnects and lets go of the
// context. Requests still open are cancelled; no callback of it runs after.
void closePulseContext(pa_context* context) noexcept;

}  // namespace chromola::audio
