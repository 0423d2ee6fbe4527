// The stored settings as text: parsing with the checks and defaults of each
// value, and formatting for the write at exit. No widgets and no file access;
// the store (settings_store.h) moves the texts in and out of the file.
//
// Numbers are plain decimal text in the shortest form, with the locale's
// decimal separator ("2,5" under a decimal-comma locale). Text that is not a
// number, or is out of the range a value can hold, takes that value's
// default: a damaged or hostile settings file never stops the player.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace chromola {

// Texts to numbers, as the player reads settings and the pause box. The
// locale's own form is tried first, then the C locale's, so that a file
// written under another locale still reads. Leading and trailing blanks are
// allowed; group separators, NaN and infinities are not.
std::optional<double> ParseNumber(QStringView text, const QLocale& locale);
// A whole number: ParseNumber rounded half to even; nullopt outside int.
std::optional<int> ParseWholeNumber(QStringView text, const QLocale& locale);

// Shortest decimal text of a number with at most `significantDigits`
// significant digits (15 for double values), locale decimal separator, no
// group separators: 17, 0, 2,5, 0,125.
QString FormatNumber(double value, const QLocale& locale, int significantDigits = 15);

// Colour gain <-> stored bar position (2..32), through the single-precision
// constant 0.025f. Every position 2..32 survives the round trip.
inline constexpr float kGainStep = 0.025f;
float GainFromPosition(int position);
int PositionFromGain(float gain);

// Clamps of the pause between tracks, used by the store and the help window.
inline constexpr double kMaxPauseSeconds = 60.0;
inline constexpr double kDefaultPauseSeconds = 2.0;
double ClampPause(double seconds);

// The thirteen values, decoded and checked.
struct StoredSettings {
    int state = 0;  // window state: 0 normal, 2 maximised (1 only when writing)
    double pause = kDefaultPauseSeconds;  // 0..60
    int left = 0;                         // twips; below 1 means "centre the window"
    int top = 0;
    int width = 0;
    int height = 0;
    QString path;     // ChosenFiles, NUL characters included
    int track = 0;    // >= 0
    int scroll = 17;  // 2..32
    int inverse = 0;  // taken as stored
    int red = 16;     // bar positions 2..32
    int green = 16;
    int blue = 16;

    // Options added since, written after the thirteen (OptionSettings).
    int flashLimit = 0;  // 1: the photosensitive flash limiter is on
    int autoLevel = 0;   // 1: the automatic level is on
    int live = 0;        // 1: live mode was on at exit
    int liveSource = 0;  // live mode's source: 0 the computer's sound, 1 the microphone
    // Light output (lights_options.h).
    int lights = 0;  // 1: on
    int universe = 1;
    int address = 1;
    int layout = 0;
    int fixtures = 1;
    int idleLights = 0;
    // The set-up window's frame top-left and client size, twips, checked as
    // Left, Top, Width and Height; 0: not yet placed.
    int setupLeft = 0;
    int setupTop = 0;
    int setupWidth = 0;
    int setupHeight = 0;
    // Colour on the beat (beat_display.h): 1 accents every heard beat; 4, 8,
    // 16 or 32 steps the colours every that many beats (any other value: 0).
    int beatAccent = 0;
    int beatScene = 0;
    // A strip of pixels and its output (lights_options.h).
    int pixels = 1;
    int stripEffect = 0;
    int output = 0;
    QString ddpHost{};
    int ddpPort = 4048;
    // The remote: 0 off, 1 this computer only, 2 the local network; its TCP port.
    int remote = 0;
    int remotePort = 8765;

    friend bool operator==(const StoredSettings&, const StoredSettings&) = default;
};

// The options added after the thirteen values: whole numbers in a range; a
// missing, damaged or out-of-range value takes the default. Written in
// this order after Blue. A text option (`text` set, `member` null) holds
// at most `maximum` characters and no control characters, else it is empty.
struct OptionSetting {
    const char* name;
    int StoredSettings::*member;
    int minimum;
    int maximum;
    int fallback;
    QString StoredSettings::*text = nullptr;
};
const std::vector<OptionSetting>& OptionSettings();

// Looks a value up by name; nullopt when the store has no such value.
using SettingLookup = std::function<std::optional<QString>(const QString& name)>;

// Reads every value with its default and check:
//   State  whole, modulo 3 (sign of the dividend); 1 or negative -> 0
//   Pause  number, clamped to 0..60; default 2
//   Left, Top, Width, Height  whole; default 0; outside +-491505 (32767 px) -> 0
//   Path   text as stored
//   Track  whole; negative -> 0
//   Scroll whole 2..32, else 17
//   Inverse whole, unchanged; default 0
//   Red, Green, Blue  whole 2..32, else 16
//   then each of OptionSettings()
StoredSettings DecodeSettings(const SettingLookup& lookup, const QLocale& locale);

// Name and text of every value in the order they are written at exit:
// Path, Scroll, State, Track, Left, Top, Width, Height, Pause, Inverse,
// Red, Green, Blue, then the options.
std::vector<std::pair<QString, QString>> EncodeSettings(const StoredSettings& settings,
                                                        const QLocale& locale);

}  // namespace chromola
