// Whatever follows what the player plays besides its window, such as the
// desktop's media controls. Listeners hang off the playback, so adding one
// touches neither the window nor the controllers. They are told after the
// change, on the UI thread, and must not start or stop tracks while told.
#pragma once

namespace chromola {

enum class PlaybackEvent {
    TrackStarted,  // an entry was started (it may have failed to open)
    Stopped,       // stopped by hand, or nothing in the list is left to play
    Seeked,        // the position jumped within the track
    ListChanged,   // the list was filled anew or lost an entry
};

class PlaybackListener {
  public:
    virtual ~PlaybackListener() = default;
    virtual void PlaybackChanged(PlaybackEvent event) = 0;
};

}  // namespace chromola
