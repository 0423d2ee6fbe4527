// A rectangle of one colour, optionally with a bar of another colour from
// its left edge: the main window's colour area and the level bars. Where the
// window system is X11 it is a window of its own whose background the X
// server fills, and the bar a window inside it: a new colour or bar length
// costs a couple of small requests instead of repainting and uploading the
// pixels 59 times a second. Elsewhere Qt paints it.
//
// On X11 the requests go over a connection of the player's own, shared by
// all surfaces (ServerLink), and the colour and the bar may be set from the
// display's tick thread as well as from the UI thread: requests leave in the
// order they are made. Their callers flush the link.
#pragma once

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "main_window/server_link.h"

namespace chromola {

// The pixel value of a colour on a 24- or 32-bit TrueColor visual.
inline uint32_t TrueColourPixel(const QColor& colour) {
    return (static_cast<uint32_t>(colour.red()) << 16) |
           (static_cast<uint32_t>(colour.green()) << 8) | static_cast<uint32_t>(colour.blue());
}

class ColourSurface : public QWidget {
    Q_OBJECT
  public:
    // Without a link Qt paints the surface.
    ColourSurface(QWidget* parent, std::shared_ptr<ServerLink> link);
    ~ColourSurface() override;
    // Any thread when server-filled, with the link's mutex held; otherwise
    // the UI thread.
    void setColour(const QColor& colour);
    // The bar: `width` pixels from the left edge, the surface's full height.
    void setBar(const QColor& colour, int width);
    // UI thread.
    int barWidth() const;
    QColor colour() const;
    // True when the X server paints the colour.
    bool serverFilled() const { return link_ != nullptr; }

    QPaintEngine* paintEngine() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void fillOnServer();
    void placeBarOnServer();

    std::shared_ptr<ServerLink> link_;
    // The state below is guarded by the link's mutex where there is a link.
    QColor colour_ = Qt::black;
    QColor barColour_;
    int barWidth_ = 0;
    uint32_t window_ = 0;  // this surface's X window once it is shown
    int height_ = 0;
    uint32_t barWindow_ = 0;  // the bar's X window, made on first use
    bool barMapped_ = false;
    bool exposuresOff_ = false;  // UI thread only
};

}  // namespace chromola
