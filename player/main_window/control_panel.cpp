#include "main_window/control_panel.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>

#include "main_window/twips.h"

namespace chromola {

namespace {
constexpr int kBarX1 = 180;
constexpr int kBarWidthPx = 4;
constexpr int kMarkX = 2020;
constexpr int kMarkTop = 3420;
constexpr int kMarkBottom = 3660;
constexpr int kMarkWidthPx = 3;
}  // namespace

ControlPanel::ControlPanel(QWidget* parent)
    : QFrame(parent),
      bars_{{{3420, 200, QColor(0, 0, 255)},
             {3540, 200, QColor(0, 192, 0)},
             {3660, 200, QColor(192, 0, 0)}}} {
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
}

QRect ControlPanel::barRect(const Bar& bar, int x2Twips) const {
    const int x1 = TwipsToPixels(kBarX1);
    const int x2 = TwipsToPixels(x2Twips);
    const int y = TwipsToPixels(bar.y);
    const int left = std::min(x1, x2) - kBarWidthPx / 2;
    const int right = std::max(x1, x2) + kBarWidthPx / 2;
    return QRect(left, y - kBarWidthPx / 2, right - left + 1, kBarWidthPx + 1);
}

void ControlPanel::setLineX2(int bar, int x2Twips) {
    Bar& b = bars_[bar];
    if (b.x2 == x2Twips) {
        return;
    }
    const QRect dirty = barRect(b, b.x2).united(barRect(b, x2Twips));
    b.x2 = x2Twips;
    update(dirty);
}

void ControlPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setClipRegion(event->region());
    for (const Bar& bar : bars_) {
        painter.setPen(QPen(bar.colour, kBarWidthPx, Qt::SolidLine, Qt::RoundCap));
        const int y = TwipsToPixels(bar.y);
        painter.drawLine(TwipsToPixels(kBarX1), y, TwipsToPixels(bar.x2), y);
    }
    // The mark's colour is the active title bar's, which the palette calls
    // the highlight.
    painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), kMarkWidthPx));
    const int markX = TwipsToPixels(kMarkX);
    painter.drawLine(markX, TwipsToPixels(kMarkTop), markX, TwipsToPixels(kMarkBottom));
}

}  // namespace chromola
