#include "setup_window/setup_window.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include <algorithm>

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
    link = AddRow(lights, linkLabel, QStringLiteral("Связь:"), new QLabel(lightsPage),
                  QStringLiteral("Отвечает ли служба olad проигрывателю."));
    for (QCheckBox* box : {lightsOn, idleLights}) {
        connect(box, &QCheckBox::clicked, this, &SetupWindow::LightsChanged);
    }
    for (QSpinBox* spin : {universe, address, fixtures}) {
        connect(spin, &QSpinBox::valueChanged, this, &SetupWindow::LightsChanged);
    }
    connect(layout, &QComboBox::activated, this, &SetupWindow::LightsChanged);

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
}

void SetupWindow::ShowState() {
    flashLimit->setChecked(state_.FlashLimit == 1);
    autoLevel->setChecked(state_.AutoLevel == 1);
    (state_.LiveSource == 1 ? microphone : computerSound)->setChecked(true);
    const LightsOptions options = state_.Lights.Clamped();
    loading_ = true;  // the controls take the stored options without echoing them back
    lightsOn->setChecked(options.enabled);
    universe->setValue(options.universe);
    address->setValue(options.address);
    layout->setCurrentIndex(options.layout);
    fixtures->setValue(options.fixtures);
    idleLights->setChecked(options.idleLights == 1);
    remoteMode->setCurrentIndex(std::clamp(state_.Remote, 0, 2));
    if (!remotePort->hasFocus()) {
        remotePort->setValue(state_.RemotePort);
    }
    loading_ = false;
    ShowLightsStatus();
    ShowRemoteStatus();
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
    state_.Lights =
        LightsOptions{lightsOn->isChecked(),  universe->value(), address->value(),
                      layout->currentIndex(), fixtures->value(), idleLights->isChecked() ? 1 : 0};
    if (lightsChanged) {
        lightsChanged();
    }
    ShowLightsStatus();
}

void SetupWindow::ShowLightsStatus() {
    if (!state_.Lights.enabled) {
        link->setText(QStringLiteral("свет выключен"));
    } else {
        const bool connected = lightsConnected && lightsConnected();
        link->setText(connected ? QStringLiteral("на связи") : QStringLiteral("нет связи"));
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
    KeepPlace();
    event->accept();
}

}  // namespace chromola
