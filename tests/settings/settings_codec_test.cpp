#include "settings/settings_codec.h"

#include <gtest/gtest.h>

#include <QHash>

#include <cmath>
#include <limits>

namespace chromola {
namespace {

const QLocale kGerman(QLocale::German, QLocale::Germany);

// The machine's (or the test run's) own locale, German and C: every rule
// must hold in all three.
std::vector<QLocale> Locales() {
    return {QLocale(), kGerman, QLocale::c()};
}

QString WithComma(const QLocale& locale, const char* whole, const char* fraction) {
    return QString::fromLatin1(whole) + locale.decimalPoint() + QString::fromLatin1(fraction);
}

// A settings store held in memory.
class Store {
  public:
    Store& Set(const char* name, const QString& text) {
        values_.insert(QString::fromLatin1(name), text);
        return *this;
    }
    SettingLookup Lookup() const {
        return [this](const QString& name) -> std::optional<QString> {
            const auto it = values_.constFind(name);
            return it == values_.constEnd() ? std::nullopt : std::optional<QString>(*it);
        };
    }

  private:
    QHash<QString, QString> values_;
};

StoredSettings DecodeOne(const char* name, const QString& text, const QLocale& locale = QLocale()) {
    Store store;
    store.Set(name, text);
    return DecodeSettings(store.Lookup(), locale);
}

TEST(ParseNumber, ReadsTheLocaleFormAndTheCForm) {
    for (const QLocale& locale : Locales()) {
        SCOPED_TRACE(locale.name().toStdString());
        EXPECT_EQ(ParseNumber(u"2", locale), 2.0);
        EXPECT_EQ(ParseNumber(u"-3", locale), -3.0);
        EXPECT_EQ(ParseNumber(u"  17 ", locale), 17.0);
        EXPECT_EQ(ParseNumber(WithComma(locale, "2", "5"), locale), 2.5);
        // A file written under the C locale reads everywhere.
        EXPECT_EQ(ParseNumber(u"0.125", locale), 0.125);
    }
    EXPECT_EQ(ParseNumber(u"1,5", kGerman), 1.5);
    EXPECT_EQ(ParseNumber(u"\t1,5\n", kGerman), 1.5);
}

// Text that is not a number must give nullopt so that the value's default
// applies; overflow and non-finite values must never reach the player.
TEST(ParseNumber, RejectsTextThatIsNotAFiniteNumber) {
    const QString bad[] = {
        QString(),
        QStringLiteral("   "),
        QStringLiteral("abc"),
        QStringLiteral("12abc"),
        QStringLiteral("1e999"),
        QStringLiteral("-1e999"),
        QStringLiteral("nan"),
        QStringLiteral("inf"),
        QStringLiteral("-inf"),
        QStringLiteral("1") + QChar(u'\0'),
        QString(QChar(u'\0')) + QStringLiteral("5"),
    };
    for (const QLocale& locale : Locales()) {
        for (const QString& text : bad) {
            SCOPED_TRACE(locale.name().toStdString() + " '" + text.toStdString() + "'");
            EXPECT_FALSE(ParseNumber(text, locale).has_value());
        }
    }
}

// "1,5" is not one and a half where the comma groups thousands, and a group
// separator is never taken, so "1.000" under German falls back to the C
// reading 1, not 1000.
TEST(ParseNumber, GroupSeparatorsAreNotTaken) {
    EXPECT_FALSE(ParseNumber(u"1,5", QLocale::c()).has_value());
    EXPECT_FALSE(ParseNumber(u"1,000", QLocale::c()).has_value());
    EXPECT_EQ(ParseNumber(u"1.000", kGerman), 1.0);
    EXPECT_FALSE(ParseNumber(u"1.000,5", kGerman).has_value());
}

TEST(ParseWholeNumber, RoundsHalfToEvenAndStaysInsideInt) {
    struct Row {
        const char* text;
        std::optional<int> expected;
    };
    const Row rows[] = {
        {"2.5", 2},
        {"3.5", 4},
        {"-2.5", -2},
        {"0.5", 0},
        {"2147483647", std::numeric_limits<int>::max()},
        {"-2147483648", std::numeric_limits<int>::min()},
        {"2147483647.5", std::nullopt},
        {"2147483648", std::nullopt},
        {"1e10", std::nullopt},
        {"x", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseWholeNumber(QString::fromLatin1(row.text), QLocale::c()), row.expected);
    }
}

TEST(FormatNumber, WritesTheShortestPlainDecimal) {
    struct Row {
        double value;
        int digits;
        const char* c;
        const char* german;
    };
    const Row rows[] = {
        {2.0, 15, "2", "2"},
        {2.5, 15, "2.5", "2,5"},
        {0.125, 15, "0.125", "0,125"},
        {60.0, 15, "60", "60"},
        {0.0, 15, "0", "0"},
        {-0.0, 15, "0", "0"},
        {4215.0, 15, "4215", "4215"},
        {-491505.0, 15, "-491505", "-491505"},
        {1234567.5, 15, "1234567.5", "1234567,5"},
        {0.1 + 0.2, 15, "0.3", "0,3"},
        {1.0 / 3.0, 15, "0.333333333333333", "0,333333333333333"},
        {0.004, 15, "0.004", "0,004"},
        {1e20, 15, "100000000000000000000", "100000000000000000000"},
        {static_cast<double>(0.4f), 7, "0.4", "0,4"},
        {static_cast<double>(0.025f), 7, "0.025", "0,025"},
        {9.9999996, 7, "10", "10"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.c);
        EXPECT_EQ(FormatNumber(row.value, QLocale::c(), row.digits), QLatin1String(row.c));
        EXPECT_EQ(FormatNumber(row.value, kGerman, row.digits), QLatin1String(row.german));
    }
}

// Values of up to 15 significant digits (every pause a user can type) come
// back exactly.
TEST(FormatNumber, ReadsBackToTheSameValue) {
    const double values[] = {0.0, 2.0, 2.5, 0.125, 59.99, 1e-5, 12345.678, -3.25};
    for (const QLocale& locale : Locales()) {
        for (double value : values) {
            const QString text = FormatNumber(value, locale);
            SCOPED_TRACE(text.toStdString());
            const auto back = ParseNumber(text, locale);
            ASSERT_TRUE(back.has_value());
            EXPECT_EQ(*back, value);
        }
    }
}

// A gain loaded from position p must be saved as p again, or the colours
// would drift by one step at every start.
TEST(Gain, EveryBarPositionSurvivesTheRoundTrip) {
    for (int position = 2; position <= 32; ++position) {
        EXPECT_EQ(PositionFromGain(GainFromPosition(position)), position);
    }
    EXPECT_EQ(GainFromPosition(2), 0.05f);
    EXPECT_EQ(GainFromPosition(16), 0.4f);
    EXPECT_EQ(GainFromPosition(32), 0.8f);
}

TEST(ClampPause, KeepsThePauseWithinAMinute) {
    EXPECT_EQ(ClampPause(75.0), 60.0);
    EXPECT_EQ(ClampPause(-3.0), 0.0);
    EXPECT_EQ(ClampPause(0.0), 0.0);
    EXPECT_EQ(ClampPause(60.0), 60.0);
    EXPECT_EQ(ClampPause(2.5), 2.5);
    EXPECT_EQ(ClampPause(std::numeric_limits<double>::quiet_NaN()), kDefaultPauseSeconds);
}

// The help window takes over its pause box: text that is not a number gives
// the default, the rest is clamped.
TEST(PauseText, HelpWindowRules) {
    auto take = [](const QString& text, const QLocale& locale) {
        return ClampPause(ParseNumber(text, locale).value_or(kDefaultPauseSeconds));
    };
    for (const QLocale& locale : Locales()) {
        SCOPED_TRACE(locale.name().toStdString());
        EXPECT_FALSE(ParseNumber(u"", locale).has_value());
        EXPECT_FALSE(ParseNumber(u"abc", locale).has_value());
        EXPECT_EQ(take(QString(), locale), 2.0);
        EXPECT_EQ(take(QStringLiteral("abc"), locale), 2.0);
        EXPECT_EQ(take(QStringLiteral("75"), locale), 60.0);
        EXPECT_EQ(take(QStringLiteral("-1"), locale), 0.0);
        EXPECT_EQ(take(QStringLiteral("0"), locale), 0.0);
        EXPECT_EQ(take(QStringLiteral("60"), locale), 60.0);
    }
    EXPECT_EQ(take(QStringLiteral("1,5"), kGerman), 1.5);
    EXPECT_EQ(FormatNumber(2.5, kGerman), QStringLiteral("2,5"));
}

TEST(DecodeSettings, EmptyStoreGivesFirstStartValues) {
    const StoredSettings s = DecodeSettings(Store().Lookup(), QLocale());
    EXPECT_EQ(s.state, 0);
    EXPECT_EQ(s.pause, 2.0);
    EXPECT_EQ(s.left, 0);
    EXPECT_EQ(s.top, 0);
    EXPECT_EQ(s.width, 0);
    EXPECT_EQ(s.height, 0);
    EXPECT_TRUE(s.path.isEmpty());
    EXPECT_EQ(s.track, 0);
    EXPECT_EQ(s.scroll, 17);
    EXPECT_EQ(s.inverse, 0);
    EXPECT_EQ(s.red, 16);
    EXPECT_EQ(s.green, 16);
    EXPECT_EQ(s.blue, 16);
}

struct WholeField {
    const char* name;
    int StoredSettings::*field;
};
const WholeField kState{"State", &StoredSettings::state};
const WholeField kLeft{"Left", &StoredSettings::left};
const WholeField kTop{"Top", &StoredSettings::top};
const WholeField kWidth{"Width", &StoredSettings::width};
const WholeField kHeight{"Height", &StoredSettings::height};
const WholeField kTrack{"Track", &StoredSettings::track};
const WholeField kScroll{"Scroll", &StoredSettings::scroll};
const WholeField kInverse{"Inverse", &StoredSettings::inverse};
const WholeField kRed{"Red", &StoredSettings::red};
const WholeField kGreen{"Green", &StoredSettings::green};
const WholeField kBlue{"Blue", &StoredSettings::blue};

// A minimised window must not come back minimised, and stored values outside
// their range must not reach the window or the bars.
TEST(DecodeSettings, WholeValuesAreChecked) {
    struct Case {
        WholeField setting;
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {kState, "1", 0},
        {kState, "2", 2},
        {kState, "4", 0},
        {kState, "5", 2},
        {kState, "-1", 0},
        {kState, "-4", 0},
        {kState, "3", 0},
        {kState, "2.5", 2},
        {kLeft, "491505", 491505},
        {kLeft, "491506", 0},
        {kTop, "-491505", -491505},
        {kTop, "-491506", 0},
        {kWidth, "6600", 6600},
        {kHeight, "99999999", 0},
        {kTrack, "-4", 0},
        {kTrack, "7", 7},
        {kScroll, "40", 17},
        {kScroll, "16", 16},
        {kScroll, "2", 2},
        {kScroll, "32", 32},
        {kScroll, "1", 17},
        {kInverse, "2", 2},
        {kInverse, "-1", -1},
        {kRed, "40", 16},
        {kRed, "1", 16},
        {kRed, "5", 5},
        {kGreen, "33", 16},
        {kGreen, "32", 32},
        {kBlue, "0", 16},
        {kBlue, "2", 2},
    };
    for (const QLocale& locale : Locales()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.setting.name) + "=" + c.text);
            const StoredSettings s = DecodeOne(c.setting.name, QString::fromLatin1(c.text), locale);
            EXPECT_EQ(s.*c.setting.field, c.expected);
        }
    }
}

TEST(DecodeSettings, PauseIsClampedAndReadInTheLocale) {
    EXPECT_EQ(DecodeOne("Pause", QStringLiteral("75")).pause, 60.0);
    EXPECT_EQ(DecodeOne("Pause", QStringLiteral("-3")).pause, 0.0);
    EXPECT_EQ(DecodeOne("Pause", QStringLiteral("0,5"), kGerman).pause, 0.5);
    EXPECT_EQ(DecodeOne("Pause", QStringLiteral("0.5"), kGerman).pause, 0.5);
    EXPECT_EQ(DecodeOne("Pause", QStringLiteral("0")).pause, 0.0);
}

// A damaged or hostile file must leave every value at its default.
TEST(DecodeSettings, GarbageGivesDefaults) {
    const QString garbage[] = {
        QStringLiteral("abc"),   QString(),
        QStringLiteral("1e999"), QStringLiteral("5") + QChar(u'\0'),
        QStringLiteral("0x10"),
    };
    const StoredSettings defaults = DecodeSettings(Store().Lookup(), QLocale());
    const WholeField fields[] = {kState,  kLeft,    kTop, kWidth, kHeight, kTrack,
                                 kScroll, kInverse, kRed, kGreen, kBlue};
    for (const QLocale& locale : Locales()) {
        for (const QString& text : garbage) {
            for (const WholeField& f : fields) {
                SCOPED_TRACE(std::string(f.name) + "='" + text.toStdString() + "'");
                EXPECT_EQ(DecodeOne(f.name, text, locale).*f.field, defaults.*f.field);
            }
            EXPECT_EQ(DecodeOne("Pause", text, locale).pause, 2.0);
        }
    }
}

TEST(DecodeSettings, PathKeepsItsNulCharacters) {
    const QString path = QStringLiteral("/home/u/Music") + QChar(u'\0') + QStringLiteral("a.mp3") +
                         QChar(u'\0') + QStringLiteral("b.ogg") + QChar(u'\0') + QChar(u'\0');
    EXPECT_EQ(DecodeOne("Path", path).path, path);
}

StoredSettings Sample() {
    StoredSettings s;
    s.state = 1;
    s.pause = 2.5;
    s.left = 4215;
    s.top = -15;
    s.width = 7200;
    s.height = 5400;
    s.path =
        QStringLiteral("/m") + QChar(u'\0') + QStringLiteral("a.mp3") + QChar(u'\0') + QChar(u'\0');
    s.track = 3;
    s.scroll = 20;
    s.inverse = 1;
    s.red = 5;
    s.green = 16;
    s.blue = 32;
    return s;
}

TEST(EncodeSettings, WritesEveryValueInOrder) {
    const auto written = EncodeSettings(Sample(), kGerman);
    const std::vector<std::pair<QString, QString>> expected = {
        {"Path", Sample().path}, {"Scroll", "20"}, {"State", "1"},    {"Track", "3"},
        {"Left", "4215"},        {"Top", "-15"},   {"Width", "7200"}, {"Height", "5400"},
        {"Pause", "2,5"},        {"Inverse", "1"}, {"Red", "5"},      {"Green", "16"},
        {"Blue", "32"},
    };
    EXPECT_EQ(written, expected);
    EXPECT_EQ(EncodeSettings(Sample(), QLocale::c())[8].second, QStringLiteral("2.5"));
}

TEST(EncodeSettings, DecodeReadsBackWhatWasWritten) {
    StoredSettings original = Sample();
    original.state = 2;  // 1 is written but, by design, read back as 0
    original.pause = 0.125;
    for (const QLocale& locale : Locales()) {
        SCOPED_TRACE(locale.name().toStdString());
        Store store;
        for (const auto& [name, text] : EncodeSettings(original, locale)) {
            store.Set(name.toLatin1().constData(), text);
        }
        const StoredSettings back = DecodeSettings(store.Lookup(), locale);
        EXPECT_EQ(EncodeSettings(back, QLocale::c()), EncodeSettings(original, QLocale::c()));
    }
}

}  // namespace
}  // namespace chromola
