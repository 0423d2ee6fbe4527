// "Vazuvideroz SETUP": the options added beyond the colour set-up of the help
// window, on pages: Цвет (the flash limiter, the automatic level, colour on
// the beat and the playing track's tempo), Источник (what live mode
// captures), Свет (light output) and Пульт (the remote in a phone's
// browser). Every change takes effect
// at once in the player's state; the main window stores it at exit. Modeless,
// resizable, owned by the main window, one instance; it keeps its place for
// the main window to store, and opens there again, fitted to the screen.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <vector>

#include "lights/strip_output.h"
#include "lights/strip_preview.h"
#include "player_state.h"
#include "settings/stored_state.h"

namespace chromola {

// What the Пульт page shows of the remote's server.
struct RemoteStatus {
    QString address;         // to open, with the secret; empty while off or failed
    QString error;           // why the server does not listen; empty when it does
    std::vector<bool> code;  // the address's QR code, codeWidth modules a row
    int codeWidth = 0;
};

class SetupWindow : public QWidget {
    Q_OBJECT
  public:
    // `place`: where the window opens, and where it was when it closed.
    SetupWindow(PlayerState& state, WindowPlace& place, QWidget* owner);

    // F2 or the help window's button: loads and shows the window, or brings
    // it forward when it is open.
    void Open();

    QTabWidget* pages;
    // Цвет.
    QCheckBox* flashLimit;
    QCheckBox* autoLevel;
    QCheckBox* beatAccent;
    QLabel* beatSceneLabel;
    QComboBox* beatScene;  // every 0 (never), 4, 8, 16 or 32 beats
    QLabel* tempoLabel;
    QLabel* tempo;
    // Источник: live mode's source (F9).
    QLabel* sourceLabel;
    QRadioButton* computerSound;
    QRadioButton* microphone;
    // Свет: the light output through olad.
    QCheckBox* lightsOn;
    QLabel* universeLabel;
    QSpinBox* universe;
    QLabel* addressLabel;
    QSpinBox* address;
    QLabel* layoutLabel;
    QComboBox* layout;
    QLabel* fixturesLabel;
    QSpinBox* fixtures;
    QCheckBox* idleLights;
    // A strip of pixels, and where it goes.
    QLabel* pixelsLabel;
    QSpinBox* pixels;
    QLabel* effectLabel;
    QComboBox* effect;
    QLabel* outputLabel;
    QComboBox* output;
    QLabel* ddpHostLabel;
    QLineEdit* ddpHost;
    QLabel* ddpPortLabel;
    QSpinBox* ddpPort;
    QLabel* previewLabel;
    QWidget* preview;  // the first pixels sent
    QLabel* linkLabel;
    QLabel* link;  // whether the lights take what is sent
    // Пульт: the remote in a phone's browser.
    QLabel* remoteModeLabel;
    QComboBox* remoteMode;
    QLabel* remotePortLabel;
    QSpinBox* remotePort;
    QLabel* remoteAddressLabel;
    QLabel* remoteAddress;
    QLabel* remoteCode;  // the address as a QR code
    QPushButton* newRemoteKey;

    // Shows the options as the state holds them now, once they were changed
    // elsewhere (the remote).
    void ShowState();

    // The playing track's tempo in whole BPM; 0: none known.
    void ShowTempo(int bpm);
    // Called when an option of colour on the beat changes.
    std::function<void()> beatsChanged;
    // Called when the light options change; the output's state; the first
    // pixels it sent (how many: 0 for none).
    std::function<void()> lightsChanged;
    std::function<StripStatus()> lightsStatus;
    std::function<int(StripPreview::Pixels&)> lightsPreview;
    // Called when the remote's mode or port changes, and for a new key.
    std::function<void()> remoteChanged;
    std::function<void()> renewRemoteKey;
    std::function<RemoteStatus()> remoteStatus;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void Load();
    void LightsChanged();
    void EnableLightsControls();
    void ShowLightsStatus();
    void RemoteChanged();
    void ShowRemoteStatus();
    void Place();
    void KeepPlace();

    PlayerState& state_;
    WindowPlace& place_;
    bool loading_ = false;
    QTimer lightsStatus_;
    QTimer previewTimer_;
};

}  // namespace chromola
