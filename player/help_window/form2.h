// `Form2`, the help and colour set-up window: the keyboard hints, the user's
// names, the three colour gains, inversion and the pause between tracks, and
// a button to the window of the options added since (setup_window.h). It
// edits the player's state in memory; the main window saves it at exit.
// Modeless, owned by the main window, one instance.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <QWidget>

#include <array>
#include <functional>

#include "player_state.h"

namespace chromola {

// Hands a URL to the desktop (the mail program for mailto:); a seam for tests.
using UrlOpener = std::function<bool(const QUrl&)>;
bool OpenUrlOnDesktop(const QUrl& url);

class Form2 : public QWidget {
    Q_OBJECT
  public:
    Form2(PlayerState& state, const QLocale& locale, QWidget* owner,
          UrlOpener urlOpener = OpenUrlOnDesktop);

    // F1: loads and shows the window, or brings it forward when it is open.
    void Open();
    bool isLoaded() const { return loaded_; }
    // Shows the pause, the inversion and the gains as the state holds them
    // now, once they were changed elsewhere (the remote).
    void ShowState();

    static QUrl FeedbackUrl();
    static const std::array<const char*, 9>& HelpLines();
    // The keys added since, listed under the nine.
    static const std::array<const char*, 4>& AddedHelpLines();

    QListWidget* List1;
    QLabel* Label2;
    QLabel* Label4;
    QLabel* Label3;
    QLabel* Label5;
    QCheckBox* Check1;
    QLabel* Label6;
    QLineEdit* Text1;
    std::array<QLabel*, 3> Label7;
    std::array<QScrollBar*, 3> HScroll1;
    QLabel* Label1;
    QPushButton* Command1;
    // Opens the window of the options added since.
    QPushButton* Command2;

  signals:
    void setupRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Load();
    void Unload();
    void GainChanged(int index);
    void CentreOnOwner();

    PlayerState& state_;
    QLocale locale_;
    UrlOpener urlOpener_;
    bool loaded_ = false;
};

}  // namespace chromola
