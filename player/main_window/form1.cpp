#include "main_window/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QImageReader>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <utility>

#include "common/dialog_font.h"
#include "common/twips.h"
#include "display/level_bars.h"
#include "transport_math.h"

// The window's pictures live in a resource file compiled into a static
// library, whose initialiser the linker would otherwise drop.
static void InitResources() {
    Q_INIT_RESOURCE(chromola);
}

namespace chromola {

QIcon ChromolaIcon() {
    InitResources();
    QImageReader reader(QStringLiteral(":/chromola/icon.png"), "png");
    reader.setAutoDetectImageFormat(false);  // Qt's own PNG reader, no plugin
    return QIcon(QPixmap::fromImage(reader.read()));
}

namespace {

void SetColours(QWidget* widget, const QColor& background, const QColor& foreground) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, background);
    pal.setColor(QPalette::Base, background);
    pal.setColor(QPalette::WindowText, foreground);
    pal.setColor(QPalette::Text, foreground);
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
}

}  // namespace

Form1::Form1(QWidget* parent) : QWidget(parent) {
    std::shared_ptr<ServerLink> link = ServerLink::Open();
    InitResources();
    setWindowTitle(QStringLiteral("Vazuvideroz (F1-Help)"));
    setWindowIcon(ChromolaIcon());
    // The surface is painted by paintEvent alone: nothing underneath needs
    // clearing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    UseDialogFont(this);
    setAcceptDrops(true);
    resize(480, 307);
    buildControls(std::move(link));
}

// The painter goes before the controls it paints on, which Qt deletes.
Form1::~Form1() = default;

void Form1::buildControls(std::shared_ptr<ServerLink> link) {
    leftSurface_ = new ColourSurface(this, link);
    topSurface_ = new ColourSurface(this, link);

    Frame1 = new ControlPanel(this, link);
    Frame1->setGeometry(TwipsRect(4740, 120, 2310, 4275));
    framePainter_ =
        std::make_unique<FramePainter>(std::move(link), leftSurface_, topSurface_, Frame1);

    Command3 = new QPushButton(QStringLiteral(">"), Frame1);
    Command3->setGeometry(TwipsRect(2040, 3900, 195, 375));
    Command2 = new QPushButton(QStringLiteral("<"), Frame1);
    Command2->setGeometry(TwipsRect(840, 3900, 195, 375));
    Command1 = new QPushButton(QStringLiteral("Файл'ы"), Frame1);
    Command1->setGeometry(TwipsRect(1080, 3900, 915, 375));

    VScroll1 = new QScrollBar(Qt::Vertical, Frame1);
    VScroll1->setGeometry(TwipsRect(540, 3960, 195, 295));
    VScroll1->setRange(2, 32);
    VScroll1->setValue(16);
    VScroll1->setSingleStep(1);
    VScroll1->setPageStep(1);

    HScroll1 = new QScrollBar(Qt::Horizontal, Frame1);
    HScroll1->setGeometry(TwipsRect(60, 3060, 2175, 195));
    HScroll1->setRange(0, 100);
    HScroll1->setValue(0);
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(1);
    // What a tick on another thread reads of the bar.
    connect(HScroll1, &QScrollBar::valueChanged, this,
            [this](int value) { framePainter_->setPosition(value); });
    connect(HScroll1, &QScrollBar::sliderPressed, this,
            [this] { framePainter_->setPositionDragged(true); });
    connect(HScroll1, &QScrollBar::sliderReleased, this,
            [this] { framePainter_->setPositionDragged(false); });

    List1 = new EntryList(Frame1);
    List1->setGeometry(TwipsRect(0, 120, 2295, 2790));
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every entry is one line of the same font: the list needs no measuring
    // of each of tens of thousands to lay them out, scroll or find one.
    List1->setUniformItemSizes(true);
    List1->setMouseTracking(true);
    List1->setFrameShape(QFrame::NoFrame);
    SetColours(List1, Qt::black, Qt::white);
    List1->viewport()->installEventFilter(this);

    Label2 = new QLabel(QStringLiteral("Яркость"), Frame1);
    Label2->setGeometry(TwipsRect(180, 3720, 735, 195));
    SetColours(Label2, Qt::black, Qt::white);

    Label1 = new QLabel(Frame1);
    Label1->setGeometry(TwipsRect(180, 3960, 375, 255));
    Label1->setAlignment(Qt::AlignCenter);
    SetColours(Label1, Qt::black, Qt::white);

    Image1 = new PictureBox(this);
    Image1->setGeometry(TwipsRect(180, 180, 4455, 4215));
    QFile picture(QStringLiteral(":/chromola/picture.jpg"));
    if (picture.open(QIODevice::ReadOnly)) {
        Image1->setPicture(picture.readAll(), QByteArrayLiteral("jpeg"));
    }
    Image1->installEventFilter(this);

    printLabel_ = new QLabel(this);
    printLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette printPalette = printLabel_->palette();
    printPalette.setColor(QPalette::WindowText, Qt::white);
    printLabel_->setPalette(printPalette);
    printLabel_->hide();

    // The menu exists only as the playlist's popup; the window has no menu bar.
    mMenu = new QMenu(QStringLiteral("Файл"), this);
    mDel = mMenu->addAction(QStringLiteral("Удалить из списка?"));

    // Tab order: Command1, Command3, Command2, VScroll1, HScroll1, List1.
    Command1->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(Command1, Command3);
    setTabOrder(Command3, Command2);
    setTabOrder(Command2, VScroll1);
    setTabOrder(VScroll1, HScroll1);
    setTabOrder(HScroll1, List1);
    Command1->setFocus();

    updateSurfaces();

    // Key preview: the window sees each key before the focused control.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
}

void Form1::setBackColor(const QColor& colour) {
    // A new background erases what was printed, as on a freshly cleared
    // surface; the display sets it every tick, so printed text lasts until
    // the next tick while a track plays.
    cls();
    if (!framePainter_->setColour(colour)) {
        return;
    }
    // The surfaces cover the whole colour area while they show; the window
    // paints it itself only while one stands aside.
    if (!leftSurface_->isVisible() || !topSurface_->isVisible()) {
        update(colourRegion());
    }
}

void Form1::updateSurfaces() {
    const bool printing = !printed_.text.isEmpty();
    leftSurface_->setVisible(!printing && !Image1->isVisibleTo(this));
    topSurface_->setVisible(!printing);
    publishFrameArea();
}

void Form1::publishFrameArea() {
    if (!framePainter_->drawsFromAnyThread()) {
        return;
    }
    // The colour area the left surface would cover, less the picture.
    QVector<QRect> beside;
    if (Image1->isVisibleTo(this)) {
        const QRegion region = QRegion(leftSurface_->geometry()) - Image1->geometry();
        beside = QVector<QRect>(region.begin(), region.end());
    }
    // The window was made on Qt's connection: it reaches the server
    // before the link's requests name it.
    ServerLink::FlushQt();
    framePainter_->setFrameArea(printed_.text.isEmpty(), static_cast<uint32_t>(internalWinId()),
                                std::move(beside));
}

QRegion Form1::colourRegion() const {
    QRegion region(rect());
    region -= Frame1->geometry();
    if (Image1->isVisible()) {
        region -= Image1->geometry();
    }
    return region;
}

void Form1::print(double currentX, double currentY, const QString& text) {
    printed_ = {text, QPointF(currentX, currentY)};
    printLabel_->setText(text);
    printLabel_->adjustSize();
    printLabel_->move(qRound(currentX), qRound(currentY));
    printLabel_->show();
    printLabel_->raise();
    updateSurfaces();
    update();
}

void Form1::cls() {
    if (printed_.text.isEmpty()) {
        return;
    }
    printed_ = {};
    printLabel_->hide();
    updateSurfaces();
    update();
}

void Form1::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    for (const QRect& r : event->region()) {
        painter.fillRect(r, backColor());
    }
}

void Form1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutControls();
    placement_.updateMinimumSize();
}

void Form1::layoutControls() {
    if (isMinimized()) {
        return;
    }
    const MainLayout layout = ComputeMainLayout(width(), height());
    Frame1->setGeometry(layout.frame);
    Image1->setGeometry(layout.image);
    leftSurface_->setGeometry(0, 0, std::max(0, width() - kPanelWidth), height());
    topSurface_->setGeometry(std::max(0, width() - kPanelWidth), 0, kPanelWidth,
                             std::max(0, height() - kPanelHeight));
    publishFrameArea();
}

bool Form1::event(QEvent* event) {
    if (event->type() == QEvent::Show && windowHandle() != nullptr) {
        windowHandle()->installEventFilter(this);
    }
    if (event->type() == QEvent::Move || event->type() == QEvent::Show) {
        placement_.updateMinimumSize();
    }
    if (event->type() == QEvent::Show || event->type() == QEvent::WinIdChange) {
        publishFrameArea();
    }
    return QWidget::event(event);
}

void Form1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        framePainter_->setMinimised(isMinimized());
        layoutControls();
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        unloaded_ = true;
        emit unloading();
    }
    event->accept();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle()) {
        // Only the window, not the widget, hears that it is on screen.
        if (event->type() == QEvent::Expose && windowHandle()->isExposed()) {
            placement_.windowExposed();
        }
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        // A key event travels from the focused control up to the window, and
        // the filter sees every step; act on the first one.
        QWidget* focus = QApplication::focusWidget();
        const bool first = focus != nullptr ? watched == focus : watched == this;
        if (first && (watched == this || (focus != nullptr && focus->window() == this))) {
            auto* key = static_cast<QKeyEvent*>(event);
            emit keyDown(key);
            if (watched == List1 && List1->currentRow() > -1 &&
                (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
                emit entryActivated();
            }
        }
        return false;
    }
    if (watched == Image1 && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        updateSurfaces();
        return false;
    }
    if (watched == List1->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton) {
            return false;
        }
        // The popup removes the selected entry: a right click selects the
        // entry under the pointer first.
        if (const int row = List1->rowAt(mouse->position().toPoint()); row > -1) {
            List1->setCurrentRow(row);
        }
        if (List1->currentRow() > -1) {
            mMenu->popup(QCursor::pos());
        }
        return true;
    }
    if (watched == List1->viewport() && event->type() == QEvent::MouseMove) {
        // The tooltip names the entry under the pointer and keeps its last
        // text over the empty space below the entries.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (const int row = List1->rowAt(mouse->position().toPoint()); row > -1) {
            List1->setToolTip(List1->text(row));
        }
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

namespace {

// The local files and folders among dropped URLs.
QStringList DroppedPaths(const QMimeData* data) {
    QStringList paths;
    if (data != nullptr) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) {
                paths << url.toLocalFile();
            }
        }
    }
    return paths;
}

}  // namespace

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void Form1::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedPaths(event->mimeData());
    if (paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    emit pathsDropped(paths);
}

void Form1::BringToFront() {
    if (isMinimized()) {
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    }
    show();
    raise();
    activateWindow();
}

void Form1::SetBackColour(const ColourLevels& colour) {
    setBackColor(QColor(colour.red, colour.green, colour.blue));
}

void Form1::SetLevelBarEnds(int blueX2, int greenX2, int redX2) {
    framePainter_->setBarEnds(blueX2, greenX2, redX2);
}

void Form1::ShowPicture(bool shown) {
    Image1->setVisible(shown);
}

void Form1::PrintMessage(const QString& text) {
    const double width = scaleWidth();
    print(width / 5 - width / 10, scaleHeight() / 2.0, text);
}

void Form1::SetPositionMaximum(int seconds) {
    HScroll1->setMaximum(seconds);
}

int Form1::PositionMaximum() const {
    return HScroll1->maximum();
}

void Form1::SetPosition(int seconds) {
    HScroll1->setValue(seconds);
}

void Form1::ShowBrightness(int value, const QString& caption) {
    VScroll1->setValue(value);
    Label1->setText(caption);
}

void Form1::SetEntries(const QStringList& entries) {
    List1->setEntries(entries);
}

void Form1::AppendEntries(const QStringList& entries) {
    List1->addedEntries(static_cast<int>(entries.size()));
}

void Form1::RemoveEntry(int index) {
    List1->removedEntry(index);
}

void Form1::SelectEntry(int index) {
    List1->setCurrentRow(index);
}

int Form1::SelectedEntry() const {
    return List1->currentRow();
}

void Form1::EnableTransport(bool enabled) {
    Command1->setEnabled(enabled);
    Command2->setEnabled(enabled);
    Command3->setEnabled(enabled);
    List1->setEnabled(enabled);
}

int Form1::windowStateValue() const {
    if (isMinimized()) {
        return kMinimised;
    }
    if (isMaximized() || isFullScreen()) {
        return kMaximised;
    }
    return kNormal;
}

void Form1::setWindowStateValue(int state) {
    switch (state) {
        case kMinimised:
            setWindowState(Qt::WindowMinimized);
            break;
        case kMaximised:
            setWindowState(Qt::WindowMaximized);
            break;
        default:
            setWindowState(Qt::WindowNoState);
            break;
    }
}

void Form1::ShowFullScreen() {
    setWindowState(Qt::WindowFullScreen);
    if (isVisible()) {
        show();
    }
}

void Form1::ShowOrdinary() {
    setWindowState(Qt::WindowNoState);
    if (isVisible()) {
        show();
    }
}

}  // namespace chromola
