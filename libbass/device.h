// Where the mix goes. A device pulls frames from the mixer on its own thread
// from construction to destruction, and tells which output frame is being
// heard, so positions and spectra follow what the listener hears.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace chromola::audio {

class Mixer;
class PlaybackClock;

class OutputDevice {
  public:
    virtual ~OutputDevice() = default;
    virtual int rate() const = 0;
    // Index, on the mixer's output timeline, of the frame being heard now.
    virtual uint64_t heardFrame() const = 0;
    // Drops what is queued but not yet heard, so a new position is heard at
    // once.
    virtual void flush() {}
    // A channel may have started playing: an output that went idle (nothing
    // to play) resumes.
    virtual void wake() {}
    // The most frames the output may take at once: after a flush or a wake
    // it asks for its whole queue. Channels decode at least that much ahead
    // before they play. 0: no more than a channel decodes ahead anyway.
    virtual std::size_t burstFrames() const { return 0; }
};

// Plays nothing, at real-time pace, driven by a timer thread. With a clock,
// it marks what is heard there instead of on a clock of its own (the sound
// server's device keeps its clock through a silent stand-in).
std::unique_ptr<OutputDevice> openNullDevice(Mixer& mixer, int rate,
                                             PlaybackClock* clock = nullptr);

// The sound server through libpulse. sink 0 is the server's default sink,
// 1.. its sinks in the order it lists them. Returns nullptr when there is no
// server; throws Error(DEVICE) when there is no such sink, or when a server
// took the connection but did not answer within 2 seconds (then nothing
// else is worth trying: ALSA's default may well wait on that same server).
std::unique_ptr<OutputDevice> openPulseDevice(Mixer& mixer, int sink, int rateWish);

// An ALSA PCM (normally "default"). Returns nullptr when it cannot be opened
// at once (busy), or when it is the sound server's ALSA plugin: the server
// failed already, and the plugin would wait on it with no time-out.
std::unique_ptr<OutputDevice> openAlsaDevice(Mixer& mixer, const char* pcmName, int rateWish);

}  // namespace chromola::audio
