#include "display/display_controller.h"

#include "common/rounding.h"
#include "engine/playback.h"
#include "main_window/form1.h"
#include "main_window/transport_math.h"
#include "playlist/playlist_controller.h"

namespace chromola {

namespace {
const QColor kIdleColour(12, 17, 11);
constexpr int kBarX1 = 180;
constexpr int kBarTwipsPerLevel = 7;
constexpr int kPauseStepMs = 10;
}  // namespace

DisplayController::DisplayController(BassLibrary& bass, PlayerState& state, Form1& form,
                                     Playback& playback, PlaylistController& playlist)
    : bass_(bass), state_(state), form_(form), playback_(playback), playlist_(playlist) {
    pauseTimer_.setSingleShot(true);
    pauseTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pauseTimer_, &QTimer::timeout, this, &DisplayController::StartNextEntry);
    connect(&form_.Timer1, &QTimer::timeout, this, &DisplayController::Tick);
    connect(form_.VScroll1, &QScrollBar::valueChanged, this, &DisplayController::BrightnessChanged);
}

void DisplayController::BrightnessChanged() {
    const int value = form_.VScroll1->value();
    brightness_ = BrightnessFromValue(value);
    form_.Label1->setText(BrightnessCaption(value));
}

void DisplayController::Tick() {
    const DWORD channel = state_.CurrentChannel;
    if (!form_.isMinimized()) {
        // A failed request leaves the last spectrum in place.
        bass_.BASS_ChannelGetData(channel, spectrum_.data(), BASS_DATA_FFT2048);
        const ColourLevels levels = ComputeColourLevels(
            spectrum_,
            {brightness_, state_.RedGain, state_.GreenGain, state_.BlueGain, state_.InvertColours});
        form_.setBackColor(QColor(levels.red, levels.green, levels.blue));
        // While the user drags the thumb the bar follows the pointer, not the
        // track.
        if (!form_.HScroll1->isSliderDown()) {
            const QWORD position = bass_.BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
            form_.HScroll1->setValue(RoundHalfEven(playback_.BytesToSeconds(channel, position)));
        }
        form_.Frame1->setLineX2(0, kBarX1 + kBarTwipsPerLevel * levels.blue);
        form_.Frame1->setLineX2(1, kBarX1 + kBarTwipsPerLevel * levels.green);
        form_.Frame1->setLineX2(2, kBarX1 + kBarTwipsPerLevel * levels.red);
    }
    if (bass_.BASS_ChannelIsActive(channel) == 0) {
        EndOfTrack();
    }
}

void DisplayController::EndOfTrack() {
    form_.Timer1.stop();
    // A track that could not be played ends at the first tick after its
    // message was printed; the message stays up through the pause so that
    // it can be read, until the next track starts.
    const QString failure = form_.printedText();
    const QPointF failureAt = form_.printedPosition();
    const bool listEmpty = form_.List1->count() == 0;
    if (!listEmpty) {
        EnableTransport(false);
    }
    form_.Image1->show();
    form_.setBackColor(kIdleColour);
    form_.cls();
    if (!failure.isEmpty()) {
        form_.print(failureAt.x(), failureAt.y(), failure);
    }
    if (listEmpty) {
        return;
    }
    const int steps = PauseSteps(state_.PauseSeconds);
    if (steps > 0) {
        pauseTimer_.start(steps * kPauseStepMs);
    } else {
        StartNextEntry();
    }
}

void DisplayController::StartNextEntry() {
    form_.List1->setEnabled(true);
    const int count = form_.List1->count();
    if (count == 0) {
        // The list was emptied during the pause: nothing to go on with.
        EnableTransport(true);
        return;
    }
    state_.TrackIndex = NextIndex(state_.TrackIndex, count);
    form_.List1->setCurrentRow(state_.TrackIndex);
    EnableTransport(true);
    form_.Image1->hide();
    form_.setBackColor(Qt::black);
    playlist_.PlaySelected();
}

void DisplayController::CancelPendingStart() {
    if (!pauseTimer_.isActive()) {
        return;
    }
    pauseTimer_.stop();
    EnableTransport(true);
}

void DisplayController::EnableTransport(bool enabled) {
    form_.Command1->setEnabled(enabled);
    form_.Command2->setEnabled(enabled);
    form_.Command3->setEnabled(enabled);
    form_.List1->setEnabled(enabled);
}

}  // namespace chromola
