#include "pulse_connection.h"

#include <pulse/rtclock.h>

#include "error.h"

namespace chromola::audio {

PulseLoop::PulseLoop(const char* threadName) : loop_(pa_threaded_mainloop_new()) {
    if (!loop_)
        throw Error(BASS_ERROR_MEM);
    pa_threaded_mainloop_set_name(loop_, threadName);
}

PulseLoop::~PulseLoop() {
    if (started_)
        pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

void PulseLoop::start() {
    if (pa_threaded_mainloop_start(loop_) < 0)
        throw Error(BASS_ERROR_MEM);
    started_ = true;
}

pa_time_event* PulseLoop::arm(pa_context* context, pa_usec_t timeout, Alarm& alarm) const {
    pa_time_event* event = pa_context_rttime_new(
        context, pa_rtclock_now() + timeout,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* user) {
            auto* a = static_cast<Alarm*>(user);
            a->rang = true;
            a->loop->signal();
        },
        &alarm);
    if (!event)
        throw Error(BASS_ERROR_MEM);
    return event;
}

pa_context* connectPulseContext(const PulseLoop& loop, pa_context_notify_cb_t onState, void* user) {
    pa_context* context = pa_context_new(loop.api(), "Chromola");
    if (!context)
        return nullptr;
    pa_context_set_state_callback(context, onState, user);
    // A socket that is not there fails right here.
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        closePulseContext(context);
        return nullptr;
    }
    return context;
}

PulseConnected awaitPulseContext(const PulseLoop& loop, pa_context* context,
                                 pa_usec_t answerTimeout, pa_usec_t readyTimeout) {
    // Once it is setting the name, the server has answered.
    const auto answered = [&] {
        const pa_context_state_t state = pa_context_get_state(context);
        return state == PA_CONTEXT_SETTING_NAME || state == PA_CONTEXT_READY;
    };
    const auto ready = [&] { return pa_context_get_state(context) == PA_CONTEXT_READY; };
    if (loop.waitUntil(context, answerTimeout, answered) &&
        loop.waitUntil(context, readyTimeout, ready)) {
        return PulseConnected::Ready;
    }
    return PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) ? PulseConnected::NoAnswer
                                                             : PulseConnected::Refused;
}

void closePulseContext(pa_context* context) noexcept {
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
}

}  // namespace chromola::audio
