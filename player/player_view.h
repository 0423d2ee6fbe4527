// What the player's logic needs of its main window. The window implements
// it and forwards the user's actions to the controllers; the controllers
// know nothing else of it, so that the same logic runs against a test view.
#pragma once

#include <QString>
#include <QStringList>

#include "shown_colour.h"

namespace chromola {

// Window states as the settings store them; full screen counts as maximised.
enum WindowStateValue { kNormal = 0, kMinimised = 1, kMaximised = 2 };

class PlayerView {
  public:
    virtual ~PlayerView() = default;

    // The colour area (`BackColor`). Setting it erases a printed message.
    virtual void SetBackColour(const ColourLevels& colour) = 0;
    // The right ends of the level bars `Line1` (blue), `Line2` (green) and
    // `Line3` (red), in twips.
    virtual void SetLevelBarEnds(int blueX2, int greenX2, int redX2) = 0;
    // The decorative picture that covers the colour while nothing plays.
    virtual void ShowPicture(bool shown) = 0;
    // A line of text printed on the colour area, where a file that cannot
    // be played is reported; cleared by ClearMessage or a new colour.
    virtual void PrintMessage(const QString& text) = 0;
    virtual void ClearMessage() = 0;

    // The position bar `HScroll1`, whole seconds.
    virtual void SetPositionMaximum(int seconds) = 0;
    virtual int PositionMaximum() const = 0;
    virtual void SetPosition(int seconds) = 0;
    virtual int Position() const = 0;
    // The user is dragging the bar's thumb.
    virtual bool PositionDragged() const = 0;
    // Disabled while there is no track to seek in (live mode).
    virtual void EnablePosition(bool enabled) = 0;

    // The brightness bar `VScroll1` and its caption `Label1`.
    virtual void ShowBrightness(int value, const QString& caption) = 0;

    // The playlist `List1`: its entries and the selected one (-1: none).
    // The view may show the list given to SetEntries itself rather than a
    // copy (a list of tens of thousands would otherwise be kept twice): the
    // caller keeps that list, and each change to it is followed by
    // AppendEntries (with the entries appended) or RemoveEntry, or by
    // SetEntries again.
    virtual void SetEntries(const QStringList& entries) = 0;
    virtual void AppendEntries(const QStringList& entries) = 0;
    virtual void RemoveEntry(int index) = 0;
    virtual void SelectEntry(int index) = 0;
    virtual int SelectedEntry() const = 0;
    // The three buttons and the list, disabled during the pause.
    virtual void EnableTransport(bool enabled) = 0;

    virtual int WindowState() const = 0;
    virtual bool FullScreen() const = 0;
    virtual void ShowFullScreen() = 0;
    virtual void ShowOrdinary() = 0;

    // The help and colour set-up window (F1).
    virtual void ShowHelp() = 0;
    // The window of the options added beyond the colour set-up (F2).
    virtual void ShowSetup() = 0;
};

}  // namespace chromola
