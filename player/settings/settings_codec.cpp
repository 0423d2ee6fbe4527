#include "settings/settings_codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/rounding.h"
#include "lights_options.h"

namespace chromola {

namespace {

// Window geometry is stored in twips; 32767 pixels at 15 twips each is the
// largest coordinate a window system will take.
constexpr int kMaxGeometryTwips = 491505;

constexpr int kMinBarPosition = 2;
constexpr int kMaxBarPosition = 32;
constexpr int kDefaultScroll = 17;
constexpr int kDefaultGainPosition = 16;

std::optional<double> ParseWith(const QString& text, QLocale locale) {
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// Significant digits of |value| rounded to `digits` places, trailing zeros
// dropped, and the decimal exponent of the first of them.
struct DecimalDigits {
    int count = 0;
    int exponent = 0;
};

DecimalDigits SignificantDigits(double value, int digits) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific, digits - 1);
    DecimalDigits out;
    const char* p = buffer;
    int lastNonZero = 0;
    for (; p != result.ptr && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') {
            ++out.count;
            if (*p != '0') {
                lastNonZero = out.count;
            }
        }
    }
    out.count = std::max(lastNonZero, 1);
    if (p != result.ptr) {
        std::from_chars(p + (p[1] == '+' ? 2 : 1), result.ptr, out.exponent);
    }
    return out;
}

std::optional<QString> Lookup(const SettingLookup& lookup, const char* name) {
    return lookup(QString::fromLatin1(name));
}

std::optional<int> WholeSetting(const SettingLookup& lookup, const char* name,
                                const QLocale& locale) {
    const auto text = Lookup(lookup, name);
    return text ? ParseWholeNumber(*text, locale) : std::nullopt;
}

int BarPosition(const SettingLookup& lookup, const char* name, const QLocale& locale,
                int fallback) {
    const int value = WholeSetting(lookup, name, locale).value_or(fallback);
    return (value < kMinBarPosition || value > kMaxBarPosition) ? fallback : value;
}

int Geometry(const SettingLookup& lookup, const char* name, const QLocale& locale) {
    const int value = WholeSetting(lookup, name, locale).value_or(0);
    return std::abs(value) > kMaxGeometryTwips ? 0 : value;
}

// A text that could break the file's lines, or a resolver, is dropped whole.
QString TextOption(const QString& text, const OptionSetting& option) {
    const bool plain = text.size() <= option.maximum &&
                       std::none_of(text.begin(), text.end(),
                                    [](QChar c) { return c.category() == QChar::Other_Control; });
    return plain ? text : QString();
}

QString WholeText(int value, const QLocale& locale) {
    return FormatNumber(static_cast<double>(value), locale);
}

}  // namespace

std::optional<double> ParseNumber(QStringView text, const QLocale& locale) {
    if (text.contains(QChar(u'\0'))) {
        return std::nullopt;
    }
    const QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    if (auto value = ParseWith(trimmed, locale)) {
        return value;
    }
    return ParseWith(trimmed, QLocale::c());
}

std::optional<int> ParseWholeNumber(QStringView text, const QLocale& locale) {
    const auto value = ParseNumber(text, locale);
    if (!value) {
        return std::nullopt;
    }
    const double rounded = std::nearbyint(*value);
    if (rounded < static_cast<double>(std::numeric_limits<int>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    return RoundHalfEven(rounded);
}

QString FormatNumber(double value, const QLocale& locale, int significantDigits) {
    QLocale plain = locale;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    if (!std::isfinite(value)) {
        return plain.toString(value);
    }
    if (value == 0.0) {
        return plain.toString(0);  // also for -0: no sign on zero
    }
    const int digits = std::clamp(significantDigits, 1, std::numeric_limits<double>::max_digits10);
    const DecimalDigits decimal = SignificantDigits(value, digits);
    // Exponent form only where plain digits would run away (beyond the
    // range of any stored value); settings never get there.
    if (decimal.exponent < -7 || decimal.exponent >= 21) {
        return plain.toString(value, 'g', digits);
    }
    // Rounding at the last significant digit kept gives exactly the digits
    // found above: the ones dropped after it are zeros.
    const int decimals = std::max(0, decimal.count - 1 - decimal.exponent);
    return plain.toString(value, 'f', decimals);
}

float GainFromPosition(int position) {
    return static_cast<float>(position) * kGainStep;
}

int PositionFromGain(float gain) {
    return RoundHalfEven(static_cast<double>(gain) / static_cast<double>(kGainStep));
}

double ClampPause(double seconds) {
    if (std::isnan(seconds)) {
        return kDefaultPauseSeconds;
    }
    return std::clamp(seconds, 0.0, kMaxPauseSeconds);
}

StoredSettings DecodeSettings(const SettingLookup& lookup, const QLocale& locale) {
    StoredSettings s;

    // A window stored as minimised opens normally; the remainder keeps the
    // dividend's sign, and a negative state means nothing either.
    const int state = WholeSetting(lookup, "State", locale).value_or(0) % 3;
    s.state = (state == 1 || state < 0) ? 0 : state;

    const auto pauseText = Lookup(lookup, "Pause");
    const auto pause = pauseText ? ParseNumber(*pauseText, locale) : std::nullopt;
    s.pause = ClampPause(pause.value_or(kDefaultPauseSeconds));

    s.left = Geometry(lookup, "Left", locale);
    s.top = Geometry(lookup, "Top", locale);
    s.width = Geometry(lookup, "Width", locale);
    s.height = Geometry(lookup, "Height", locale);

    s.path = Lookup(lookup, "Path").value_or(QString());

    s.track = std::max(0, WholeSetting(lookup, "Track", locale).value_or(0));
    s.scroll = BarPosition(lookup, "Scroll", locale, kDefaultScroll);
    s.inverse = WholeSetting(lookup, "Inverse", locale).value_or(0);
    s.red = BarPosition(lookup, "Red", locale, kDefaultGainPosition);
    s.green = BarPosition(lookup, "Green", locale, kDefaultGainPosition);
    s.blue = BarPosition(lookup, "Blue", locale, kDefaultGainPosition);
    for (const OptionSetting& option : OptionSettings()) {
        if (option.text != nullptr) {
            s.*option.text = TextOption(Lookup(lookup, option.name).value_or(QString()), option);
            continue;
        }
        const int value = WholeSetting(lookup, option.name, locale).value_or(option.fallback);
        s.*option.member =
            value < option.minimum || value > option.maximum ? option.fallback : value;
    }
    // Only the lengths of a phrase count: 4, 8, 16 or 32 beats.
    if (s.beatScene != 4 && s.beatScene != 8 && s.beatScene != 16 && s.beatScene != 32) {
        s.beatScene = 0;
    }
    return s;
}

const std::vector<OptionSetting>& OptionSettings() {
    static const std::vector<OptionSetting> options = {
        {"FlashLimit", &StoredSettings::flashLimit, 0, 1, 0},
        {"AutoLevel", &StoredSettings::autoLevel, 0, 1, 0},
        {"Live", &StoredSettings::live, 0, 1, 0},
        {"LiveSource", &StoredSettings::liveSource, 0, 1, 0},
        {"Lights", &StoredSettings::lights, 0, 1, 0},
        {"Universe", &StoredSettings::universe, 1, 32767, 1},
        {"Address", &StoredSettings::address, 1, 512, 1},
        {"Layout", &StoredSettings::layout, 0, 2, 0},
        {"Fixtures", &StoredSettings::fixtures, 1, 170, 1},
        {"IdleLights", &StoredSettings::idleLights, 0, 1, 0},
        {"SetupLeft", &StoredSettings::setupLeft, -kMaxGeometryTwips, kMaxGeometryTwips, 0},
        {"SetupTop", &StoredSettings::setupTop, -kMaxGeometryTwips, kMaxGeometryTwips, 0},
        {"SetupWidth", &StoredSettings::setupWidth, 0, kMaxGeometryTwips, 0},
        {"SetupHeight", &StoredSettings::setupHeight, 0, kMaxGeometryTwips, 0},
        {"BeatAccent", &StoredSettings::beatAccent, 0, 1, 0},
        {"BeatScene", &StoredSettings::beatScene, 0, 32, 0},
        {"Pixels", &StoredSettings::pixels, 1, 4096, 1},
        {"StripEffect", &StoredSettings::stripEffect, 0, 4, 0},
        {"Output", &StoredSettings::output, 0, 1, 0},
        {"DdpHost", nullptr, 0, kMaxHostLength, 0, &StoredSettings::ddpHost},
        {"DdpPort", &StoredSettings::ddpPort, 1, 65535, 4048},
        {"Remote", &StoredSettings::remote, 0, 2, 0},
        {"RemotePort", &StoredSettings::remotePort, 1024, 65535, 8765},
    };
    return options;
}

std::vector<std::pair<QString, QString>> EncodeSettings(const StoredSettings& settings,
                                                        const QLocale& locale) {
    std::vector<std::pair<QString, QString>> encoded = {
        {QStringLiteral("Path"), settings.path},
        {QStringLiteral("Scroll"), WholeText(settings.scroll, locale)},
        {QStringLiteral("State"), WholeText(settings.state, locale)},
        {QStringLiteral("Track"), WholeText(settings.track, locale)},
        {QStringLiteral("Left"), WholeText(settings.left, locale)},
        {QStringLiteral("Top"), WholeText(settings.top, locale)},
        {QStringLiteral("Width"), WholeText(settings.width, locale)},
        {QStringLiteral("Height"), WholeText(settings.height, locale)},
        {QStringLiteral("Pause"), FormatNumber(settings.pause, locale)},
        {QStringLiteral("Inverse"), WholeText(settings.inverse, locale)},
        {QStringLiteral("Red"), WholeText(settings.red, locale)},
        {QStringLiteral("Green"), WholeText(settings.green, locale)},
        {QStringLiteral("Blue"), WholeText(settings.blue, locale)},
    };
    for (const OptionSetting& option : OptionSettings()) {
        encoded.emplace_back(QString::fromLatin1(option.name),
                             option.text != nullptr ? settings.*option.text
                                                    : WholeText(settings.*option.member, locale));
    }
    return encoded;
}

}  // namespace chromola
