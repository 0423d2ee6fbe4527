// A rectangle of one colour, optionally with a bar of another colour from
// its left edge: the main window's colour area and the level bars. Where the
// window system is X11 it is a window of its own whose background the X
// server fills, and the bar a window inside it: a new colour or bar length
// costs a couple of small requests instead of repainting and uploading the
// pixels 59 times a second. Elsewhere Qt paints it.
#pragma once

#include <QColor>
#include <QWidget>

namespace chromola {

class ColourSurface : public QWidget {
    Q_OBJECT
  public:
    explicit ColourSurface(QWidget* parent);
    ~ColourSurface() override;
    void setColour(const QColor& colour);
    // The bar: `width` pixels from the left edge, the surface's full height.
    void setBar(const QColor& colour, int width);
    int barWidth() const { return barWidth_; }
    const QColor& colour() const { return colour_; }
    // True when the X server paints the colour.
    bool serverFilled() const { return connection_ != nullptr; }

    QPaintEngine* paintEngine() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void fillOnServer();
    void placeBarOnServer();

    QColor colour_ = Qt::black;
    QColor barColour_;
    int barWidth_ = 0;
    uint32_t barWindow_ = 0;  // the bar's X window, made on first use
    bool barMapped_ = false;
    bool exposuresOff_ = false;
    void* connection_ = nullptr;  // xcb_connection_t*, when X11 paints
};

}  // namespace chromola
