// The player application: owns the shared state, the audio library, the main
// window and the controllers, and runs the window's life cycle: the checks at
// creation and load, the settings read and written, NumLock, shutdown. The
// threads of the process and their locks are written down at the top of
// player.cpp.
#pragma once

#include <QLocale>
#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "desktop/instance_link.h"
#include "engine/bass_library.h"
#include "main_window/open_files_dialog.h"
#include "main_window/qt_clock.h"
#include "player_core.h"
#include "player_state.h"
#include "settings/stored_state.h"

namespace chromola {

class Form1;
class Form2;
class SetupWindow;
class LightsLink;
class RemoteLink;
class MprisService;
class MprisState;

// Shows a modal message box; a seam so that tests can read the boxes.
using MessageBoxFn =
    std::function<void(QMessageBox::Icon icon, const QString& caption, const QString& text)>;
void ShowMessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text);

struct PlayerOptions {
    QString programDir;        // empty: the executable's folder
    int outputDevice = -1;     // the sound server's default output
    QString instanceLockPath;  // empty: chromola.lock in the runtime folder
    // Where the lock holder takes files from later starts; empty: beside the
    // lock, chromola.socket.
    QString instanceSocketPath;
    // The lock taken, or the files handed over, before the player was made
    // (ClaimInstance); unset: the player's start does it first.
    std::optional<InstanceClaim> instanceClaim;
    // Absolute files and folders to open instead of the stored list, or to
    // hand to the running player.
    QStringList openPaths;
    // On the session bus for the desktop's media controls.
    bool mediaControls = true;
    MessageBoxFn messageBox = ShowMessageBox;
    FileChooser fileChooser = ShowOpenFilesDialog;
    QLocale locale;  // number format of the settings and the pause box
    // The audio library, loaded ahead (BassLibrary::StartAhead) from the
    // program's folder; null: loaded when the player starts.
    std::shared_ptr<BassLibrary> library;
};

class Player {
  public:
    explicit Player(PlayerOptions options = {});
    ~Player();

    // Creation and load of the main window. Returns the exit status when the
    // program must end at once (missing or wrong library, no sound device,
    // another instance), or nothing when the window is ready to be shown.
    std::optional<int> Start();
    // The window's unload; also run when the main window closes.
    void Unload();

    // Started and not yet unloaded.
    bool isLoaded() const { return libraryInitialised_ && !unloaded_; }
    PlayerState& state() { return state_; }
    Form1& form() { return *form_; }
    BassLibrary& bass() { return *bass_; }
    PlayerCore& core() { return *core_; }
    Clock& clock() { return *clock_; }
    Form2* helpWindow() { return form2_.get(); }
    SetupWindow* setupWindow() { return setup_.get(); }
    void ShowHelp();
    void ShowSetup();

    static constexpr unsigned kInitFrequency = 192000;
    static constexpr unsigned kExpectedVersion = 0x0204;

  private:
    bool Initialize();
    void ReportEngineError(const QString& message);
    void ReadWindowSettings();
    void ReadPlaylistSettings();
    void StartLights();
    void StartRemote();
    // Shows in the help and set-up windows what a phone changed.
    void ShowStateInWindows();
    void WriteSettings();
    void PlaceWindow(int left, int top, int width, int height);
    void ConnectWindow();
    // Files from outside: the command line or a later start.
    void OpenFromOutside(const QStringList& paths);

    PlayerOptions options_;
    PlayerState state_;
    WindowSettings window_;
    std::shared_ptr<InstanceLock> instanceLock_;
    std::unique_ptr<InstanceServer> instanceServer_;
    std::shared_ptr<BassLibrary> bass_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<PlayerCore> core_;
    std::unique_ptr<ColourSink> colourLog_;
    std::unique_ptr<BeatLog> beatLog_;
    std::unique_ptr<LightsLink> lights_;
    std::unique_ptr<RemoteLink> remote_;
    std::unique_ptr<Form2> form2_;
    std::unique_ptr<SetupWindow> setup_;
    std::unique_ptr<MprisState> mprisState_;
    std::unique_ptr<MprisService> mpris_;
    std::optional<bool> numLockWasOn_;
    bool libraryInitialised_ = false;
    bool unloaded_ = false;
    bool playlistFilled_ = false;
};

}  // namespace chromola
