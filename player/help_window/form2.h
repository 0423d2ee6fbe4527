// `Form2`, the help and colour set-up window: the keyboard hints, the user's
// names, the three colour gains, inversion and the pause between tracks. It
// edits the player's state in memory; the main window saves it at exit.
// Modeless, owned by the main window, one instance.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
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

    static QUrl FeedbackUrl();
    static const std::array<const char*, 9>& HelpLines();
    // The keys added since, listed under the nine.
    static const std::array<const char*, 2>& AddedHelpLines();

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
    // Options beyond the colour set-up, in a row of their own below it.
    QCheckBox* Check2;  // the flash limiter
    QCheckBox* Check3;  // the automatic level
    // Live mode's source (F9): the computer's sound or the microphone.
    QLabel* Label8;
    QRadioButton* Option1;
    QRadioButton* Option2;
    // Light output: on, universe, start address, layout, fixtures, the idle
    // colour between tracks, and whether olad answers.
    QCheckBox* Check4;
    QLabel* Label9;
    QSpinBox* Spin1;
    QLabel* Label10;
    QSpinBox* Spin2;
    QComboBox* Combo1;
    QLabel* Label11;
    QSpinBox* Spin3;
    QCheckBox* Check5;
    QLabel* Label12;

    // Called when the light options change; tells whether olad answers.
    std::function<void()> lightsChanged;
    std::function<bool()> lightsConnected;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Load();
    void Unload();
    void GainChanged(int index);
    void CentreOnOwner();
    void LightsChanged();
    void ShowLightsStatus();

    PlayerState& state_;
    QLocale locale_;
    UrlOpener urlOpener_;
    bool loaded_ = false;
    QTimer lightsStatus_;
};

}  // namespace chromola
