#include "main_window/control_panel.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>

#include <algorithm>

#include "common/twips.h"
#include "display/level_bars.h"

namespace chromola {

namespace {
constexpr int kBarWidthPx = 4;
constexpr int kMarkX = 2020;
constexpr int kMarkTop = 3420;
constexpr int kMarkBottom = 3660;
constexpr int kMarkWidthPx = 3;
}  // namespace

ControlPanel::ControlPanel(QWidget* parent, std::shared_ptr<ServerLink> link)
    : QFrame(parent),
      bars_{{{3420, 200, QColor(0, 0, 255), nullptr},
             {3540, 200, QColor(0, 192, 0), nullptr},
             {3660, 200, QColor(192, 0, 0), nullptr}}} {
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    // Each bar is drawn as a 4-pixel-wide line from x = 180 twips: it covers
    // half the pen width on either side of its end points, up to the mark.
    const int left = TwipsToPixels(kBarStartTwips) - kBarWidthPx / 2;
    const int right = TwipsToPixels(kMarkX) - kMarkWidthPx / 2;
    for (Bar& bar : bars_) {
        bar.surface = new ColourSurface(this, link);
        bar.surface->setColour(Qt::black);
        bar.surface->setGeometry(left, TwipsToPixels(bar.y) - kBarWidthPx / 2, right - left,
                                 kBarWidthPx);
        showBar(bar);
    }
}

void ControlPanel::showBar(const Bar& bar) {
    const int length = TwipsToPixels(bar.x2) - TwipsToPixels(kBarStartTwips);
    bar.surface->setBar(bar.colour, std::max(0, length) + kBarWidthPx);
}

void ControlPanel::setLineX2(int bar, int x2Twips) {
    Bar& b = bars_[bar];
    if (b.x2 == x2Twips) {
        return;
    }
    b.x2 = x2Twips;
    showBar(b);
}

void ControlPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    // The mark's colour is the active title bar's, which the palette calls
    // the highlight.
    painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), kMarkWidthPx));
    const int markX = TwipsToPixels(kMarkX);
    painter.drawLine(markX, TwipsToPixels(kMarkTop) - kBarWidthPx / 2, markX,
                     TwipsToPixels(kMarkBottom) + kBarWidthPx / 2);
}

}  // namespace chromola
