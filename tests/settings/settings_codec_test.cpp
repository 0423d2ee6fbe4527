#include "settings/settings_codec.h"
#include "settings/stored_state.h"

#include <gtest/gtest.h>

#include <QHash>

namespace chromola {
namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);

// The test run's own locale (read when a test runs, after main has set it),
// German and C: every rule must hold in all three. The binary also runs
// under a decimal-comma locale.
std::vector<QLocale> Locales() {
    return {QLocale(), kGerman, QLocale::c()};
}

TEST(ParseNumber, ReadsTheLocaleFormAndTheCFormButNoGroupSeparators) {
    EXPECT_EQ(ParseNumber(u"  -17 ", QLocale::c()), -17.0);
    EXPECT_EQ(ParseNumber(u"\t1,5\n", kGerman), 1.5);
    // A file written under the C locale reads everywhere.
    EXPECT_EQ(ParseNumber(u"0.125", kGerman), 0.125);
    // "1.000" is not a thousand under German: the C reading gives 1.
    EXPECT_EQ(ParseNumber(u"1.000", kGerman), 1.0);
    EXPECT_EQ(ParseNumber(u"1.000,5", kGerman), std::nullopt);
    EXPECT_EQ(ParseNumber(u"1,5", QLocale::c()), std::nullopt);
    EXPECT_EQ(ParseNumber(u"1,000", QLocale::c()), std::nullopt);
}

// The German text is the C text with a decimal comma.
TEST(FormatNumber, WritesTheShortestPlainDecimal) {
    const double sum = 0.1 + 0.2, third = 1.0 / 3.0, gain = 0.025f;  // gain: single precision
    const std::tuple<double, int, const char*> rows[] = {{2.0, 15, "2"},
                                                         {-0.0, 15, "0"},
                                                         {1234567.5, 15, "1234567.5"},
                                                         {sum, 15, "0.3"},
                                                         {third, 15, "0.333333333333333"},
                                                         {1e20, 15, "100000000000000000000"},
                                                         {gain, 7, "0.025"},
                                                         {9.9999996, 7, "10"}};
    for (const auto& [value, digits, c] : rows) {
        EXPECT_EQ(FormatNumber(value, QLocale::c(), digits), QLatin1String(c));
        EXPECT_EQ(FormatNumber(value, kGerman, digits), QString(c).replace('.', ','));
    }
}

// A gain loaded from position p must be saved as p again, or the colours
// would drift by one step at every start. (The gains of the bars: form2_test.)
TEST(Gain, EveryBarPositionSurvivesTheRoundTrip) {
    for (int position = 2; position <= 32; ++position) {
        EXPECT_EQ(PositionFromGain(GainFromPosition(position)), position);
    }
}

SettingLookup LookupIn(const QHash<QString, QString>& store) {
    return [store](const QString& name) -> std::optional<QString> {
        return store.contains(name) ? std::optional(store.value(name)) : std::nullopt;
    };
}

// The value of `name` decoded from a store that holds only `text` for it (or
// nothing when `text` is null), as the C locale writes it back. (That each
// name reaches its own value: the round trip below.)
std::string Decoded(const QString& name, const QString& text, const QLocale& locale) {
    QHash<QString, QString> store;
    if (!text.isNull()) {
        store.insert(name, text);
    }
    for (const auto& [key, value] :
         EncodeSettings(DecodeSettings(LookupIn(store), locale), QLocale::c())) {
        if (key == name) {
            return value.toStdString();
        }
    }
    return "(not written)";
}

// A minimised window must not come back minimised, and stored values outside
// their range must not reach the window or the bars. One name stands for
// the others of its rule (Left for the geometry, Red for the colour bars).
TEST(DecodeSettings, ValuesAreCheckedAndClamped) {
    using Rows = std::vector<std::pair<QString, const char*>>;
    const std::string longHost(253, 'a');
    std::vector<std::pair<QString, Rows>> cases = {
        {"State", {{"1", "0"}, {"2", "2"}, {"4", "0"}, {"5", "2"}, {"-1", "0"}, {"3", "0"}}},
        {"Pause", {{"75", "60"}, {"-3", "0"}, {"0.5", "0.5"}}},
        {"Left", {{"491505", "491505"}, {"491506", "0"}, {"-491505", "-491505"}, {"-491506", "0"}}},
        {"SetupLeft", {{"-491505", "-491505"}, {"491506", "0"}}},
        {"SetupWidth", {{"491505", "491505"}, {"-15", "0"}}},
        // Whole values round half to even and must fit an int.
        {"Track", {{"-4", "0"}, {"2.5", "2"}, {"3.5", "4"}, {"-2.5", "0"}, {"1e10", "0"}}},
        {"Track", {{"2147483647", "2147483647"}, {"2147483648", "0"}}},
        {"Scroll", {{"40", "17"}, {"2", "2"}, {"32", "32"}, {"1", "17"}}},
        {"Inverse", {{"-1", "-1"}, {"2", "2"}}},
        {"Red", {{"33", "16"}, {"1", "16"}, {"2", "2"}, {"32", "32"}}},
        {"Universe", {{"32767", "32767"}, {"0", "1"}, {"40000", "1"}}},
        {"Address", {{"512", "512"}, {"513", "1"}}},
        {"Layout", {{"2", "2"}, {"3", "0"}}},
        {"Fixtures", {{"170", "170"}, {"171", "1"}}},
        {"Pixels", {{"4096", "4096"}, {"4097", "1"}, {"0", "1"}}},
        {"StripEffect", {{"4", "4"}, {"5", "0"}}},
        {"DdpPort", {{"65535", "65535"}, {"0", "4048"}, {"65536", "4048"}}},
        // A host is text as stored, unless it is too long for a resolver or
        // holds a control character that could break the file's lines.
        {"DdpHost",
         {{" wled.local", " wled.local"},
          {QString::fromStdString(longHost), longHost.c_str()},
          {QString::fromStdString(longHost + 'a'), ""},
          {"a\tb", ""},
          {"a\nb", ""},
          {QString("a") + QChar(0x85), ""}}},
        {"BeatScene", {{"4", "4"}, {"32", "32"}, {"5", "0"}, {"64", "0"}, {"-4", "0"}}},
        {"Remote", {{"2", "2"}, {"3", "0"}, {"-1", "0"}}},
        {"RemotePort",
         {{"1024", "1024"}, {"1023", "8765"}, {"65535", "65535"}, {"65536", "8765"}}}};
    for (const char* flag : {"FlashLimit", "AutoLevel", "Live", "LiveSource", "Lights",
                             "IdleLights", "Output", "BeatAccent"}) {
        cases.push_back({flag, {{"1", "1"}, {"2", "0"}, {"-1", "0"}}});
    }
    for (const QLocale& locale : Locales()) {
        for (const auto& [name, rows] : cases) {
            for (const auto& [text, expected] : rows) {
                EXPECT_EQ(Decoded(name, text, locale), expected)
                    << name.toStdString() << "=" << text.toStdString();
            }
        }
    }
    EXPECT_EQ(Decoded("Pause", "0,5", kGerman), "0.5");
}

// A missing value, or one that is not a finite number, takes its default: a
// damaged or hostile file must never reach the player.
TEST(DecodeSettings, MissingOrGarbageValuesTakeTheirDefaults) {
    const QChar nul(u'\0');
    QStringList garbage = {"", "   ", "abc", "12abc", "1e999", "-1e999", "nan", "inf", "0x10"};
    garbage << QString() << QString("5") + nul << QString(nul) + "5";
    const std::pair<const char*, const char*> defaults[] = {
        {"State", "0"},  {"Pause", "2"}, {"Left", "0"},       {"Top", "0"},      {"Width", "0"},
        {"Height", "0"}, {"Track", "0"}, {"Scroll", "17"},    {"Inverse", "0"},  {"Red", "16"},
        {"Green", "16"}, {"Blue", "16"}, {"FlashLimit", "0"}, {"AutoLevel", "0"}};
    for (const QLocale& locale : Locales()) {
        for (const QString& text : garbage) {
            for (const auto& [name, fallback] : defaults) {
                EXPECT_EQ(Decoded(name, text, locale), fallback)
                    << name << "='" << text.toStdString() << "'";
            }
        }
    }
}

// Every value, the path's NUL characters and every pause a user can type
// (up to 15 significant digits) come back exactly; the pause is written in
// the locale's form. (QSettings sorts the names, so their order is free.)
// Through the file and through the running player: what is decoded, loaded
// into the player and saved again at exit is what was written, every value
// (the options each away from its default).
TEST(EncodeSettings, DecodeAndThePlayerGiveBackWhatWasWritten) {
    const QString path = QString("/m") + QChar(u'\0') + "a.mp3" + QChar(u'\0') + QChar(u'\0');
    // state (1 is written but read back as 0), pause, left, top, width, height,
    // path, track, scroll, inverse, red, green, blue
    StoredSettings original{2, 0, 4215, -15, 7200, 5400, path, 3, 20, 1, 5, 16, 32};
    for (const OptionSetting& option : OptionSettings()) {
        if (option.text != nullptr) {
            original.*option.text = QString::fromUtf8("wled-кухня.local");
        } else {
            original.*option.member =
                option.fallback == option.maximum ? option.minimum : option.maximum;
        }
    }
    // The options come after the thirteen.
    EXPECT_EQ(EncodeSettings(original, QLocale::c()).at(13).first, "FlashLimit");
    for (const QLocale& locale : Locales()) {
        for (double pause : {0.125, 59.99, 1e-5, 0.004}) {
            original.pause = pause;
            QHash<QString, QString> store;
            for (const auto& [name, text] : EncodeSettings(original, locale)) {
                store.insert(name, text);
            }
            const StoredSettings back = DecodeSettings(LookupIn(store), locale);
            EXPECT_TRUE(store.value("Pause").contains(locale.decimalPoint()));
            EXPECT_EQ(back.pause, pause) << locale.name().toStdString();
            EXPECT_EQ(EncodeSettings(back, QLocale::c()), EncodeSettings(original, QLocale::c()));
            PlayerState state;
            WindowSettings window;
            LoadStoredSettings(back, state, window);
            EXPECT_TRUE(SaveStoredSettings(state, window) == original);
        }
    }
}

}  // namespace
}  // namespace chromola
