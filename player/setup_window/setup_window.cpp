#include "setup_window/setup_window.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "common/dialog_font.h"
#include "common/twips.h"
#include "main_window/window_placement.h"

namespace chromola {

namespace {

// A page of the window: labels on the left, what they name on the right.
QFormLayout* AddPage(QTabWidget* pages, const QString& title) {
    auto* page = new QWidget(pages);
    pages->addTab(page, title);
    auto* form = new QFormLayout(page);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->setLabelAlignment(Qt::AlignLeft);
    return form;
}

// A row with a label and its control; the tool tip says what both stand for.
template <typename Field>
Field* AddRow(QFormLayout* form, QLabel*& label, const QString& text, Field* field,
              const QString& toolTip) {
    QWidget* page = form->parentWidget();
    label = new QLabel(text, page);
    label->setBuddy(field);
    label->setToolTip(toolTip);
    field->setToolTip(toolTip);
    form->addRow(label, field);
    return field;
}

QCheckBox* AddCheckBox(QFormLayout* form, const QString& text, const QString& toolTip) {
    auto* box = new QCheckBox(text, form->parentWidget());
    box->setToolTip(toolTip);
    form->addRow(box);
    return box;
}

QSpinBox* MakeSpin(QWidget* page, int minimum, int maximum) {
    auto* spin = new QSpinBox(page);
    spin->setRange(minimum, maximum);
    return spin;
}

// The first pixels the lights were sent, side by side, one cell each.
class PixelRow : public QWidget {
  public:
    PixelRow(QWidget* parent, std::function<int(StripPreview::Pixels&)>& source)
        : QWidget(parent), source_(source) {
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        const int cell = std::max(4, fontMetrics().height() / 3);
        return {kPreviewPixels * cell, 3 * cell};
    }
    void Refresh() {
        StripPreview::Pixels pixels{};
        const int count = source_ ? source_(pixels) : 0;
        if (count != count_ || pixels != pixels_) {
            count_ = count;
            pixels_ = pixels;
            update();
        }
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Mid));
        for (int i = 0; i < count_; ++i) {
            const ColourLevels& c = pixels_[static_cast<std::size_t>(i)];
            const int left = i * width() / kPreviewPixels;
            const int right = (i + 1) * width() / kPreviewPixels;
            painter.fillRect(left, 0, right - left, height(), QColor(c.red, c.green, c.blue));
        }
    }

  private:
    std::function<int(StripPreview::Pixels&)>& source_;
    StripPreview::Pixels pixels_{};
    int count_ = 0;
};

// At most this many times a second, so that an open window costs the
// player next to nothing.
constexpr int kPreviewIntervalMs = 1000 / 15 + 1;

}  // namespace

SetupWindow::SetupWindow(PlayerState& state, WindowPlace& place, QWidget* owner)
    : QWidget(owner,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      state_(state),
      place_(place) {
    setWindowTitle(QStringLiteral("Vazuvideroz SETUP"));
    UseDialogFont(this);
    pages = new QTabWidget(this);
    (new QVBoxLayout(this))->addWidget(pages);

    QFormLayout* colour = AddPage(pages, QStringLiteral("Цвет"));
    flashLimit = AddCheckBox(colour, QStringLiteral("Ограничение вспышек"),
                             QStringLiteral("Ограничивает смену цвета тремя вспышками в секунду, "
                                            "чтобы она не вызвала приступ светочувствительной "
                                            "эпилепсии."));
    autoLevel = AddCheckBox(colour, QStringLiteral("Автоуровень"),
                            QStringLiteral("Медленно подстраивает яркость под громкость музыки, "
                                           "чтобы тихая музыка не оставалась темной."));
    beatAccent = AddCheckBox(colour, QStringLiteral("Вспышка на долю"),
                             QStringLiteral("На каждую долю такта цвет на миг становится ярче "
                                            "и за десятую долю секунды возвращается."));
    QWidget* colourPage = colour->parentWidget();
    beatScene =
        AddRow(colour, beatSceneLabel, QStringLiteral("Смена цветов:"), new QComboBox(colourPage),
               QStringLiteral("Через столько долей красный, зеленый и синий по кругу "
                              "меняются местами, и цвет комнаты следует фразам музыки."));
    beatScene->addItems({QStringLiteral("нет"), QStringLiteral("каждые 4 доли"),
                         QStringLiteral("каждые 8 долей"), QStringLiteral("каждые 16 долей"),
                         QStringLiteral("каждые 32 доли")});
    tempo = AddRow(colour, tempoLabel, QStringLiteral("Темп:"), new QLabel(colourPage),
                   QStringLiteral("Темп играющего трека в ударах в минуту, пока включена "
                                  "вспышка на долю или смена цветов."));
    ShowTempo(0);
    connect(beatAccent, &QCheckBox::clicked, this, [this](bool on) {
        state_.BeatAccent = on ? 1 : 0;
        if (beatsChanged) {
            beatsChanged();
        }
    });
    connect(beatScene, &QComboBox::activated, this, [this](int index) {
        state_.BeatScene = index == 0 ? 0 : 2 << index;
        if (beatsChanged) {
            beatsChanged();
        }
    });
    connect(flashLimit, &QCheckBox::clicked, this,
            [this](bool on) { state_.FlashLimit = on ? 1 : 0; });
    connect(autoLevel, &QCheckBox::clicked, this,
            [this](bool on) { state_.AutoLevel = on ? 1 : 0; });

    QFormLayout* source = AddPage(pages, QStringLiteral("Источник"));
    QWidget* sourcePage = source->parentWidget();
    sourceLabel = new QLabel(QStringLiteral("Живой режим (F9):"), sourcePage);
    sourceLabel->setToolTip(
        QStringLiteral("Что слушает живой режим, который включает и выключает клавиша F9."));
    computerSound = new QRadioButton(QStringLiteral("Звук компьютера"), sourcePage);
    computerSound->setToolTip(
        QStringLiteral("По клавише F9 окно показывает цвет звука, который играет компьютер."));
    microphone = new QRadioButton(QStringLiteral("Микрофон"), sourcePage);
    microphone->setToolTip(QStringLiteral("По клавише F9 окно показывает цвет звука с микрофона."));
    auto* sources = new QVBoxLayout;
    sources->addWidget(computerSound);
    sources->addWidget(microphone);
    source->addRow(sourceLabel, sources);
    connect(computerSound, &QRadioButton::clicked, this, [this] { state_.LiveSource = 0; });
    connect(microphone, &QRadioButton::clicked, this, [this] { state_.LiveSource = 1; });

    QFormLayout* lights = AddPage(pages, QStringLiteral("Свет"));
    QWidget* lightsPage = lights->parentWidget();
    lightsOn = AddCheckBox(
        lights, QStringLiteral("Включить свет"),
        QStringLiteral("Посылает цвет окна на светильники через службу olad (Open Lighting "
                       "Architecture)."));
    universe =
        AddRow(lights, universeLabel, QStringLiteral("Вселенная:"), MakeSpin(lightsPage, 1, 32767),
               QStringLiteral("Вселенная DMX в olad, в которую идет цвет."));
    address = AddRow(lights, addressLabel, QStringLiteral("Адрес:"), MakeSpin(lightsPage, 1, 512),
                     QStringLiteral("Номер первого канала DMX первого прибора."));
    layout = AddRow(lights, layoutLabel, QStringLiteral("Раскладка:"), new QComboBox(lightsPage),
                    QStringLiteral("Каналы каждого прибора: RGB, RGBW с белым или диммер на "
                                   "полную яркость и RGB."));
    layout->addItems({QStringLiteral("RGB"), QStringLiteral("RGBW"), QStringLiteral("Диммер+RGB")});
    fixtures =
        AddRow(lights, fixturesLabel, QStringLiteral("Приборов:"), MakeSpin(lightsPage, 1, 170),
               QStringLiteral("Сколько приборов подряд, начиная с адреса, получают цвет."));
    idleLights =
        AddCheckBox(lights, QStringLiteral("Светить в паузе"),
                    QStringLiteral("Между треками светильники горят цветом покоя, а не гаснут."));
    pixels = AddRow(lights, pixelsLabel, QStringLiteral("Пикселей:"), MakeSpin(lightsPage, 1, 4096),
                    QStringLiteral("Длина ленты в пикселях; при одном пикселе все приборы "
                                   "светят одним цветом."));
    effect = AddRow(lights, effectLabel, QStringLiteral("Эффект:"), new QComboBox(lightsPage),
                    QStringLiteral("Что показывает лента: цвет окна, полосы спектра, спектр от "
                                   "середины, бегущий цвет или три уровня."));
    effect->addItems({QStringLiteral("Один цвет"), QStringLiteral("Спектр"),
                      QStringLiteral("Зеркальный спектр"), QStringLiteral("Поток"),
                      QStringLiteral("Уровни")});
    output = AddRow(lights, outputLabel, QStringLiteral("Выход:"), new QComboBox(lightsPage),
                    QStringLiteral("Куда идет свет: через службу olad или прямо на контроллер "
                                   "ленты по DDP."));
    output->addItems({QStringLiteral("OLA"), QStringLiteral("DDP")});
    ddpHost =
        AddRow(lights, ddpHostLabel, QStringLiteral("Адрес DDP:"), new QLineEdit(lightsPage),
               QStringLiteral("Имя или IP-адрес контроллера ленты (WLED, ESPixelStick, FPP)."));
    ddpHost->setMaxLength(kMaxHostLength);
    ddpHost->setMinimumWidth(ddpHost->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 24);
    ddpPort =
        AddRow(lights, ddpPortLabel, QStringLiteral("Порт DDP:"), MakeSpin(lightsPage, 1, 65535),
               QStringLiteral("Порт UDP контроллера; обычно 4048."));
    auto* row = new PixelRow(lightsPage, lightsPreview);
    preview = AddRow(lights, previewLabel, QStringLiteral("Первые 60 пикселей:"), row,
                     QStringLiteral("Что получают первые 60 пикселей ленты."));
    link = AddRow(lights, linkLabel, QStringLiteral("Связь:"), new QLabel(lightsPage),
                  QStringLiteral("Принимают ли olad или контроллер DDP то, что посылает "
                                 "проигрыватель."));
    for (QCheckBox* box : {lightsOn, idleLights}) {
        connect(box, &QCheckBox::clicked, this, &SetupWindow::LightsChanged);
    }
    for (QSpinBox* spin : {universe, address, fixtures, pixels, ddpPort}) {
        connect(spin, &QSpinBox::valueChanged, this, &SetupWindow::LightsChanged);
    }
    for (QComboBox* box : {layout, effect, output}) {
        connect(box, &QComboBox::activated, this, &SetupWindow::LightsChanged);
    }
    // A half-typed name is never looked up.
    connect(ddpHost, &QLineEdit::editingFinished, this, &SetupWindow::LightsChanged);
    previewTimer_.setInterval(kPreviewIntervalMs);
    connect(&previewTimer_, &QTimer::timeout, row, &PixelRow::Refresh);

    QFormLayout* remote = AddPage(pages, QStringLiteral("Пульт"));
    QWidget* remotePage = remote->parentWidget();
    remoteMode =
        AddRow(remote, remoteModeLabel, QStringLiteral("Пульт:"), new QComboBox(remotePage),
               QStringLiteral("Откуда можно управлять проигрывателем из браузера "
                              "телефона или компьютера."));
    remoteMode->addItems({QStringLiteral("Выключен"), QStringLiteral("Только этот компьютер"),
                          QStringLiteral("Домашняя сеть")});
    remotePort =
        AddRow(remote, remotePortLabel, QStringLiteral("Порт:"), MakeSpin(remotePage, 1024, 65535),
               QStringLiteral("Номер порта TCP, на котором проигрыватель ждет пульт."));
    remoteAddress =
        AddRow(remote, remoteAddressLabel, QStringLiteral("Адрес:"), new QLabel(remotePage),
               QStringLiteral("Этот адрес с ключом откройте в браузере телефона; никому его не "
                              "показывайте."));
    remoteAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    remoteAddress->setWordWrap(true);
    remoteCode = new QLabel(remotePage);
    remoteCode->setToolTip(
        QStringLiteral("Наведите камеру телефона на код, чтобы открыть пульт с ключом."));
    remote->addRow(remoteCode);
    newRemoteKey = new QPushButton(QStringLiteral("Новый ключ"), remotePage);
    newRemoteKey->setToolTip(
        QStringLiteral("Меняет ключ пульта: все подключенные телефоны отключаются."));
    remote->addRow(newRemoteKey);
    connect(remoteMode, &QComboBox::activated, this, &SetupWindow::RemoteChanged);
    connect(remotePort, &QSpinBox::editingFinished, this, &SetupWindow::RemoteChanged);
    connect(newRemoteKey, &QPushButton::clicked, this, [this] {
        if (this->renewRemoteKey) {
            this->renewRemoteKey();
        }
        ShowRemoteStatus();
    });
    lightsStatus_.setInterval(1000);
    connect(&lightsStatus_, &QTimer::timeout, this, &SetupWindow::ShowLightsStatus);
}

void SetupWindow::Open() {
    if (!isVisible()) {
        Load();
        Place();
        show();
    }
    raise();
    activateWindow();
}

void SetupWindow::Load() {
    ShowState();
    lightsStatus_.start();
    previewTimer_.start();
}

void SetupWindow::ShowState() {
    flashLimit->setChecked(state_.FlashLimit == 1);
    autoLevel->setChecked(state_.AutoLevel == 1);
    beatAccent->setChecked(state_.BeatAccent == 1);
    const int scene = state_.BeatScene;
    beatScene->setCurrentIndex(scene == 4    ? 1
                               : scene == 8  ? 2
                               : scene == 16 ? 3
                               : scene == 32 ? 4
                                             : 0);
    (state_.LiveSource == 1 ? microphone : computerSound)->setChecked(true);
    const LightsOptions options = state_.Lights.Clamped();
    loading_ = true;  // the controls take the stored options without echoing them back
    lightsOn->setChecked(options.enabled);
    universe->setValue(options.universe);
    address->setValue(options.address);
    layout->setCurrentIndex(options.layout);
    fixtures->setValue(options.fixtures);
    idleLights->setChecked(options.idleLights == 1);
    pixels->setValue(options.pixels);
    effect->setCurrentIndex(options.stripEffect);
    output->setCurrentIndex(options.output);
    if (!ddpHost->hasFocus()) {  // a name being typed stays as it is
        ddpHost->setText(QString::fromStdString(options.ddpHost));
    }
    ddpPort->setValue(options.ddpPort);
    remoteMode->setCurrentIndex(std::clamp(state_.Remote, 0, 2));
    if (!remotePort->hasFocus()) {
        remotePort->setValue(state_.RemotePort);
    }
    loading_ = false;
    EnableLightsControls();
    ShowLightsStatus();
    ShowRemoteStatus();
}

void SetupWindow::ShowTempo(int bpm) {
    tempo->setText(bpm > 0 ? QStringLiteral("%1 уд/мин").arg(bpm) : QStringLiteral("нет"));
}

void SetupWindow::RemoteChanged() {
    if (loading_) {
        return;
    }
    state_.Remote = remoteMode->currentIndex();
    state_.RemotePort = remotePort->value();
    if (remoteChanged) {
        remoteChanged();
    }
    ShowRemoteStatus();
}

void SetupWindow::ShowRemoteStatus() {
    const RemoteStatus status = remoteStatus ? remoteStatus() : RemoteStatus{};
    remotePort->setEnabled(state_.Remote != 0);
    newRemoteKey->setEnabled(state_.Remote != 0);
    if (state_.Remote == 0) {
        remoteAddress->setText(QStringLiteral("пульт выключен"));
    } else if (!status.error.isEmpty()) {
        remoteAddress->setText(status.error);
    } else {
        remoteAddress->setText(status.address);
    }
    // Four modules of quiet zone round the code, as readers expect.
    const int width = status.codeWidth;
    if (width <= 0 || status.code.size() != static_cast<std::size_t>(width) * width) {
        remoteCode->clear();
        return;
    }
    const int scale = 4;
    const int side = (width + 8) * scale;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            if (status.code[static_cast<std::size_t>(y) * width + x]) {
                painter.fillRect((x + 4) * scale, (y + 4) * scale, scale, scale, Qt::black);
            }
        }
    }
    painter.end();
    remoteCode->setPixmap(QPixmap::fromImage(image));
}

void SetupWindow::LightsChanged() {
    if (loading_) {
        return;
    }
    state_.Lights = LightsOptions{lightsOn->isChecked(),  universe->value(),
                                  address->value(),       layout->currentIndex(),
                                  fixtures->value(),      idleLights->isChecked() ? 1 : 0,
                                  pixels->value(),        effect->currentIndex(),
                                  output->currentIndex(), ddpHost->text().toStdString(),
                                  ddpPort->value()};
    if (lightsChanged) {
        lightsChanged();
    }
    EnableLightsControls();
    ShowLightsStatus();
}

// What the chosen output and the strip's length do not use stays greyed.
void SetupWindow::EnableLightsControls() {
    const bool ola = output->currentIndex() == kOutputOla;
    const bool strip = pixels->value() > 1;
    const std::pair<QWidget*, bool> rows[] = {
        {universe, ola}, {address, ola},  {layout, ola},   {fixtures, ola && !strip},
        {effect, strip}, {ddpHost, !ola}, {ddpPort, !ola},
    };
    for (const auto& [field, on] : rows) {
        field->setEnabled(on);
        if (QWidget* label =
                static_cast<QFormLayout*>(field->parentWidget()->layout())->labelForField(field)) {
            label->setEnabled(on);
        }
    }
}

void SetupWindow::ShowLightsStatus() {
    const LightsOptions& options = state_.Lights;
    if (!options.enabled) {
        link->setText(QStringLiteral("свет выключен"));
        return;
    }
    if (options.output == kOutputDdp && options.ddpHost.empty()) {
        link->setText(QStringLiteral("адрес DDP не задан"));
        return;
    }
    switch (lightsStatus ? lightsStatus() : StripStatus::kOff) {
        case StripStatus::kSending:
            link->setText(QStringLiteral("на связи"));
            break;
        case StripStatus::kConnecting:
            link->setText(QStringLiteral("ищу адрес"));
            break;
        case StripStatus::kUnresolved:
            link->setText(QStringLiteral("адрес DDP не найден"));
            break;
        case StripStatus::kBlocked:
            link->setText(QStringLiteral("сеть не успевает"));
            break;
        default:
            link->setText(QStringLiteral("нет связи"));
            break;
    }
}

void SetupWindow::Place() {
    const QSize least = minimumSizeHint();
    QSize size = sizeHint();
    if (place_.width >= 1 && place_.height >= 1) {
        size = QSize(TwipsToPixels(place_.width), TwipsToPixels(place_.height));
    }
    size = size.expandedTo(least);
    QPoint topLeft(TwipsToPixels(place_.left), TwipsToPixels(place_.top));
    if (place_.left < 1 || place_.top < 1) {
        const QWidget* owner = parentWidget();
        const QPoint centre = owner != nullptr ? owner->frameGeometry().center() : QPoint();
        topLeft = centre - QPoint(size.width() / 2, size.height() / 2);
    }
    // The frame, known once the window has been shown, must fit as well.
    const QSize frame = frameGeometry().size() - this->size();
    const QRect outer(topLeft, size + frame);
    const QRect fitted = FittedIntoWorkArea(outer, WorkAreaFor(outer), least + frame);
    resize(fitted.size() - frame);
    move(fitted.topLeft());
}

void SetupWindow::KeepPlace() {
    place_ = {PixelsToTwips(pos().x()), PixelsToTwips(pos().y()), PixelsToTwips(width()),
              PixelsToTwips(height())};
}

void SetupWindow::closeEvent(QCloseEvent* event) {
    lightsStatus_.stop();
    previewTimer_.stop();
    // A host typed in and not yet left counts as well.
    if (ddpHost->text().toStdString() != state_.Lights.ddpHost) {
        LightsChanged();
    }
    KeepPlace();
    event->accept();
}

}  // namespace chromola
