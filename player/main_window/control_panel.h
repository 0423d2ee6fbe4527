// `Frame1`: the black control panel. Besides its child controls it draws the
// level bars `Line1`..`Line3` and the full-scale mark `Line4`, whose ends are
// kept in twips like the other controls of the panel.
#pragma once

#include <QColor>
#include <QFrame>

#include <array>

namespace chromola {

class ControlPanel : public QFrame {
    Q_OBJECT
  public:
    explicit ControlPanel(QWidget* parent = nullptr);

    // Bars 0, 1, 2 are `Line1` (blue), `Line2` (green), `Line3` (red).
    int lineX2(int bar) const { return bars_[bar].x2; }
    // Moves a bar's right end (twips); repaints only that bar, and only when
    // it moved.
    void setLineX2(int bar, int x2Twips);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Bar {
        int y;   // twips
        int x2;  // twips
        QColor colour;
    };
    QRect barRect(const Bar& bar, int x2Twips) const;

    std::array<Bar, 3> bars_;
};

}  // namespace chromola
