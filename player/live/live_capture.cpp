#include "live/live_capture.h"

namespace chromola {

LiveCapture::LiveCapture(AudioEngine& bass, PlayerState& state, PlayerView& view, Clock& clock,
                         Playback& playback, DisplayController& display, TrackSequence& sequence)
    : bass_(bass),
      state_(state),
      view_(view),
      clock_(clock),
      playback_(playback),
      display_(display),
      sequence_(sequence) {}

void LiveCapture::Toggle() {
    if (Active()) {
        Leave(true);
    } else {
        Enter();
    }
}

void LiveCapture::Enter() {
    sequence_.CancelPendingStart();
    clock_.StopTicks();
    view_.ClearMessage();
    playback_.FreeChannel();
    const DWORD which = state_.LiveSource == 1 ? CHROMOLA_CAPTURE_INPUT : CHROMOLA_CAPTURE_OUTPUT;
    state_.CurrentChannel = bass_.CHROMOLA_CaptureStart(nullptr, which);
    if (state_.CurrentChannel == 0) {
        Fail(kCannotCaptureMessage);
        return;
    }
    state_.Live = 1;
    view_.EnablePosition(false);
    view_.ShowPicture(false);
    view_.SetBackColour(kBlack);
    clock_.StartTicks();
}

void LiveCapture::Leave(bool idleLook) {
    if (!Active()) {
        return;
    }
    state_.Live = 0;
    clock_.StopTicks();
    playback_.FreeChannel();
    view_.EnablePosition(true);
    if (idleLook) {
        view_.ShowPicture(true);
        display_.ShowIdleColour();
    }
}

void LiveCapture::SourceLost() {
    Fail(kSourceLostMessage);
}

void LiveCapture::Fail(const char* message) {
    Leave(false);
    view_.ShowPicture(true);
    display_.ShowIdleColour();
    view_.PrintMessage(QString::fromUtf8(message));
}

}  // namespace chromola
