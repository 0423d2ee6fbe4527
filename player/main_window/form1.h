// `Form1`, the main window: the colour surface with its control panel, the
// decorative picture, the playlist and the hidden popup menu. It only shows
// things (as the core's PlayerView) and reports events; the player's logic
// lives in the core (player_core.h).
//
// The colour and the bars reach the screen through its FramePainter, which
// a display tick may also call from the clock's own thread; where and how
// large the window is, through its WindowPlacement.
#pragma once

#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "main_window/colour_surface.h"
#include "main_window/control_panel.h"
#include "main_window/entry_list.h"
#include "main_window/frame_painter.h"
#include "main_window/picture_box.h"
#include "main_window/window_placement.h"
#include "player_view.h"

namespace chromola {

// The program's icon, read as the PNG it is: a QIcon made from the file's
// name would load every image plugin to ask which one reads it.
QIcon ChromolaIcon();

class Form1 : public QWidget, public PlayerView {
    Q_OBJECT
  public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    // The colour of the surface (`BackColor`). Setting it erases printed
    // text; it repaints only the part of the window that shows the colour,
    // and only when the colour changes.
    QColor backColor() const { return framePainter_->colour(); }
    void setBackColor(const QColor& colour);

    // Printing a line of text on the surface (`Print` at `CurrentX`,
    // `CurrentY`, pixels) and clearing everything printed (`Cls`).
    void print(double currentX, double currentY, const QString& text);
    void cls();
    const QString& printedText() const { return printed_.text; }
    QPointF printedPosition() const { return printed_.position; }

    // 0 normal, 1 minimised, 2 maximised (full screen counts as maximised).
    int windowStateValue() const;
    void setWindowStateValue(int state);

    // PlayerView.
    void SetBackColour(const ColourLevels& colour) override;
    void SetLevelBarEnds(int blueX2, int greenX2, int redX2) override;
    void ShowPicture(bool shown) override;
    // At (ScaleWidth / 5 - ScaleWidth / 10, ScaleHeight / 2).
    void PrintMessage(const QString& text) override;
    void ClearMessage() override { cls(); }
    void SetPositionMaximum(int seconds) override;
    int PositionMaximum() const override;
    void SetPosition(int seconds) override;
    int Position() const override { return HScroll1->value(); }
    bool PositionDragged() const override { return HScroll1->isSliderDown(); }
    void EnablePosition(bool enabled) override { HScroll1->setEnabled(enabled); }
    void ShowBrightness(int value, const QString& caption) override;
    void SetEntries(const QStringList& entries) override;
    void AppendEntries(const QStringList& entries) override;
    void RemoveEntry(int index) override;
    void SelectEntry(int index) override;
    int SelectedEntry() const override;
    void EnableTransport(bool enabled) override;
    int WindowState() const override { return windowStateValue(); }
    // Full-screen view: no border and maximised over the whole screen.
    bool FullScreen() const override { return isFullScreen(); }
    void ShowFullScreen() override;
    void ShowOrdinary() override;
    void ShowHelp() override { emit helpRequested(); }
    void ShowSetup() override { emit setupRequested(); }

    // What the display's tick draws with, from whichever thread it runs on.
    FramePainter& framePainter() { return *framePainter_; }

    // Shows the window above the others with the focus, restored if it was
    // minimised: when files arrive from outside or the desktop asks.
    void BringToFront();

    // Outer geometry, with the window manager's frame (window_placement.h).
    QSize outerSize() const { return placement_.outerSize(); }
    void setOuterGeometry(const QRect& outer) { placement_.setOuterGeometry(outer); }

    // The client size as the resize layout sees it.
    int scaleWidth() const { return width(); }
    int scaleHeight() const { return height(); }

    // The controls, by their names.
    QTimer Timer1;
    ControlPanel* Frame1;
    QPushButton* Command3;
    QPushButton* Command2;
    QPushButton* Command1;
    QScrollBar* VScroll1;
    QScrollBar* HScroll1;
    EntryList* List1;
    QLabel* Label2;
    QLabel* Label1;
    PictureBox* Image1;
    QMenu* mMenu;
    QAction* mDel;

  signals:
    // Every key pressed while the window or one of its controls has the
    // focus, before the focused control sees it (the control still does).
    void keyDown(QKeyEvent* event);
    // The window is closing (`Unload`).
    void unloading();
    // F1.
    void helpRequested();
    // F2.
    void setupRequested();
    // Return or Enter on the list with an entry selected.
    void entryActivated();
    // Files or folders dropped on the window, as local paths.
    void pathsDropped(const QStringList& paths);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildControls(std::shared_ptr<ServerLink> link);
    void layoutControls();
    void updateSurfaces();
    QRegion colourRegion() const;
    // Tells ticks on another thread where they may draw.
    void publishFrameArea();

    WindowPlacement placement_{*this};
    std::unique_ptr<FramePainter> framePainter_;
    // The colour left of the panel and above it. They stand aside while the
    // picture or a printed message shows.
    ColourSurface* leftSurface_;
    ColourSurface* topSurface_;
    struct Printed {
        QString text;
        QPointF position;
    } printed_;
    // Printed text stands above the picture, so that a message stays
    // readable while the picture shows.
    QLabel* printLabel_;
    bool unloaded_ = false;
};

}  // namespace chromola
