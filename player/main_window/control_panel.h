// `Frame1`: the black control panel. Besides its child controls it shows the
// level bars `Line1`..`Line3` and draws the full-scale mark `Line4`; the
// bars' ends are kept in twips like the other controls of the panel.
#pragma once

#include <QColor>
#include <QFrame>

#include "main_window/colour_surface.h"

#include <array>
#include <memory>

namespace chromola {

class ControlPanel : public QFrame {
    Q_OBJECT
  public:
    // The bars are drawn over `link` where there is one (colour_surface.h).
    ControlPanel(QWidget* parent, std::shared_ptr<ServerLink> link);

    // Bars 0, 1, 2 are `Line1` (blue), `Line2` (green), `Line3` (red). With
    // a link, from any thread with the link's mutex held.
    int lineX2(int bar) const { return bars_[bar].x2; }
    // Moves a bar's right end (twips); only that bar changes on screen.
    void setLineX2(int bar, int x2Twips);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Bar {
        int y;   // twips
        int x2;  // twips
        QColor colour;
        ColourSurface* surface;
    };
    void showBar(const Bar& bar);

    std::array<Bar, 3> bars_;
};

}  // namespace chromola
