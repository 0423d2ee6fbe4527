#include "help_window/form2.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QSysInfo>
#include <QUrlQuery>
#include <QValidator>

#include "common/dialog_font.h"
#include "common/twips.h"
#include "settings/settings_codec.h"

namespace chromola {

namespace {

constexpr char kFeedbackAddress[] = "feedback@chromola.example.org";

// At most three characters typed into the pause box; a longer pause that was
// stored (0.125) is still shown whole rather than cut.
class MaxLengthValidator : public QValidator {
  public:
    MaxLengthValidator(int maxLength, QObject* parent)
        : QValidator(parent), maxLength_(maxLength) {}
    State validate(QString& input, int&) const override {
        return input.size() <= maxLength_ ? Acceptable : Invalid;
    }

  private:
    int maxLength_;
};

QString EnvironmentOr(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QLabel* MakeLabel(const QString& text, QRect geometry, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    return label;
}

}  // namespace

bool OpenUrlOnDesktop(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

const std::array<const char*, 9>& Form2::HelpLines() {
    static const std::array<const char*, 9> lines = {
        "Клавишами \" + \" и \" - \" можно регулировать яркость",
        "Клавиша \" 8 \" на цифровой клавиатуре",
        "переместиться вверх по списку на одну мелодию",
        "Клавиша \" 2 \" на цифровой клавиатуре",
        "переместиться вниз по списку на одну мелодию",
        "Клавиша \" 6 \" на цифровой клавиатуре",
        "ускоренная перемотка вперед по треку",
        "Клавиша \" 4 \" на цифровой клавиатуре",
        "ускоренная перемотка назад по треку",
    };
    return lines;
}

const std::array<const char*, 4>& Form2::AddedHelpLines() {
    static const std::array<const char*, 4> lines = {
        "Клавиша \" F9 \"",
        "цвет звука компьютера или микрофона",
        "Клавиша \" F2 \"",
        "настройки: вспышки, автоуровень, источник, свет",
    };
    return lines;
}

QUrl Form2::FeedbackUrl() {
    QUrl url(QStringLiteral("mailto:") + QString::fromLatin1(kFeedbackAddress));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), QStringLiteral("Vazuvideroz"));
    query.addQueryItem(QStringLiteral("body"), QStringLiteral("Сообщение о программе:"));
    url.setQuery(query);
    return url;
}

Form2::Form2(PlayerState& state, const QLocale& locale, QWidget* owner, UrlOpener urlOpener)
    : QWidget(owner,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      state_(state),
      locale_(locale),
      urlOpener_(std::move(urlOpener)) {
    setWindowTitle(QStringLiteral("Vazuvideroz HELP"));
    UseDialogFont(this);
    setFixedSize(TwipsToPixels(4530), TwipsToPixels(4080));

    List1 = new QListWidget(this);
    List1->setGeometry(TwipsRect(60, 60, 4395, 1785));
    Label2 = MakeLabel(QStringLiteral("Компьютер:"), TwipsRect(300, 1980, 915, 195), this);
    Label4 = MakeLabel(QString(), TwipsRect(1320, 1980, 3105, 195), this);
    Label3 = MakeLabel(QStringLiteral("Пользователь:"), TwipsRect(60, 2280, 1140, 195), this);
    Label5 = MakeLabel(QString(), TwipsRect(1320, 2280, 3120, 195), this);
    Check1 = new QCheckBox(QStringLiteral("Инверсия"), this);
    Check1->setGeometry(TwipsRect(300, 2580, 1155, 195));
    Label6 = MakeLabel(QStringLiteral("пауза сек."), TwipsRect(1920, 2580, 795, 195), this);
    Text1 = new QLineEdit(QStringLiteral("2"), this);
    Text1->setGeometry(TwipsRect(2760, 2580, 435, 285));
    Text1->setValidator(new MaxLengthValidator(3, Text1));

    const std::array<QColor, 3> colours = {QColor(255, 0, 0), QColor(0, 192, 0), QColor(0, 0, 255)};
    const std::array<int, 3> lefts = {300, 1800, 3300};
    const std::array<int, 3> barLefts = {60, 1560, 3060};
    for (int i = 0; i < 3; ++i) {
        Label7[i] = MakeLabel(QString(), TwipsRect(lefts[i], 3000, 915, 195), this);
        Label7[i]->setAlignment(Qt::AlignCenter);
        Label7[i]->setAutoFillBackground(true);
        QPalette pal = Label7[i]->palette();
        pal.setColor(QPalette::Window, colours[i]);
        pal.setColor(QPalette::WindowText, Qt::white);
        Label7[i]->setPalette(pal);

        HScroll1[i] = new QScrollBar(Qt::Horizontal, this);
        HScroll1[i]->setGeometry(TwipsRect(barLefts[i], 3240, 1395, 195));
        HScroll1[i]->setRange(2, 32);
        HScroll1[i]->setValue(16);
        HScroll1[i]->setSingleStep(1);
        HScroll1[i]->setPageStep(1);
        // A move counts when it ends: the release of a dragged thumb, not
        // every step of the drag.
        HScroll1[i]->setTracking(false);
        connect(HScroll1[i], &QScrollBar::valueChanged, this, [this, i] { GainChanged(i); });
    }

    Label1 = MakeLabel(QStringLiteral("Если что, пишите"), TwipsRect(1080, 3660, 1305, 195), this);
    QFont linkFont = Label1->font();
    linkFont.setUnderline(true);
    Label1->setFont(linkFont);
    QPalette linkPalette = Label1->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    Label1->setPalette(linkPalette);
    Label1->adjustSize();  // the whole link text, whatever the font
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->installEventFilter(this);

    Command1 = new QPushButton(QStringLiteral("Закрыть"), this);
    Command1->setGeometry(TwipsRect(3420, 3660, 975, 315));
    Command1->setAutoDefault(false);
    connect(Command1, &QPushButton::clicked, this, &QWidget::close);
    connect(Check1, &QCheckBox::clicked, this,
            [this] { state_.InvertColours = Check1->isChecked() ? 1 : 0; });

    // The one control added to the design, right of the pause box, opens
    // the window of the options added since.
    Command2 = new QPushButton(QStringLiteral("Настройки…"), this);
    Command2->setGeometry(TwipsRect(3300, 2565, 1155, 315));
    Command2->setAutoDefault(false);
    Command2->setToolTip(
        QStringLiteral("Открывает окно настроек: вспышки, автоуровень, источник звука и свет."));
    connect(Command2, &QPushButton::clicked, this, &Form2::setupRequested);

    setTabOrder(Text1, Check1);
    setTabOrder(Check1, Command2);
    setTabOrder(Command2, Command1);
    setTabOrder(Command1, List1);
    setTabOrder(List1, HScroll1[0]);
    setTabOrder(HScroll1[0], HScroll1[1]);
    setTabOrder(HScroll1[1], HScroll1[2]);
}

void Form2::Open() {
    if (!loaded_) {
        Load();
        CentreOnOwner();
        show();
        Text1->setFocus();
    }
    raise();
    activateWindow();
}

void Form2::CentreOnOwner() {
    if (QWidget* owner = parentWidget()) {
        const QRect ownerFrame = owner->frameGeometry();
        move(ownerFrame.center() - QPoint(width() / 2, height() / 2));
    }
}

void Form2::Load() {
    loaded_ = true;
    for (const char* line : HelpLines()) {
        List1->addItem(QString::fromUtf8(line));
    }
    for (const char* line : AddedHelpLines()) {
        List1->addItem(QString::fromUtf8(line));
    }
    Label4->setText(EnvironmentOr("USERDOMAIN", QSysInfo::machineHostName()));
    Label5->setText(EnvironmentOr("USERNAME", qEnvironmentVariable("USER")));
    ShowState();
}

void Form2::ShowState() {
    if (!loaded_) {
        return;
    }
    // The box keeps what is typed in it while that is the pause already.
    if (ParseNumber(Text1->text(), locale_) != state_.PauseSeconds) {
        Text1->setText(FormatNumber(state_.PauseSeconds, locale_));
    }
    // Only 1 inverts the display; any other stored value shows unchecked and
    // is kept until the box is clicked.
    Check1->setChecked(state_.InvertColours == 1);
    const std::array<float, 3> gains = {state_.RedGain, state_.GreenGain, state_.BlueGain};
    for (int i = 0; i < 3; ++i) {
        HScroll1[i]->setValue(PositionFromGain(gains[i]));
        Label7[i]->setText(QString::number(HScroll1[i]->value() - 16));
    }
}

void Form2::GainChanged(int index) {
    const float gain = GainFromPosition(HScroll1[index]->value());
    switch (index) {
        case 0:
            state_.RedGain = gain;
            break;
        case 1:
            state_.GreenGain = gain;
            break;
        case 2:
            state_.BlueGain = gain;
            break;
        default:
            return;
    }
    Label7[index]->setText(QString::number(HScroll1[index]->value() - 16));
}

void Form2::Unload() {
    if (!loaded_) {
        return;
    }
    loaded_ = false;
    const std::optional<double> pause = ParseNumber(Text1->text(), locale_);
    state_.PauseSeconds = ClampPause(pause.value_or(kDefaultPauseSeconds));
    List1->clear();
}

void Form2::closeEvent(QCloseEvent* event) {
    Unload();
    event->accept();
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Label1 && event->type() == QEvent::MouseButtonPress) {
        // Any mouse button opens the message.
        urlOpener_(FeedbackUrl());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace chromola
