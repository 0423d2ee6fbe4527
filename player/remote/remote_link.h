// The player's side of the remote: what a phone sees of the player and what
// it may do, through the same controllers as the keys and the help window,
// and the server module, loaded the first time the remote is switched on
// (at start or from the set-up window) and made again when its mode or port
// changes. As a colour sink it keeps the shown colour in one atomic word for
// the server to read: the tick does nothing more for the remote.
#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "clock.h"
#include "display/colour_sink.h"
#include "player_core.h"
#include "player_state.h"
#include "player_view.h"
#include "remote/remote_api.h"

namespace chromola {

class RemoteLink final : public ColourSink, public RemoteHost {
  public:
    // `moduleDir`: the folder that holds the module; `secretPath`: the
    // secret's file (remote_secret.h).
    RemoteLink(std::string moduleDir, QString secretPath, PlayerCore& core, PlayerState& state,
               PlayerView& view, Clock& clock);
    ~RemoteLink() override;
    RemoteLink(const RemoteLink&) = delete;
    RemoteLink& operator=(const RemoteLink&) = delete;

    // Starts, moves or stops the server as PlayerState's Remote and
    // RemotePort say.
    void Apply();
    // Stops the server: no phone is served from now on.
    void Stop() { server_.reset(); }
    // A new secret: every phone is logged out and must scan the new code.
    void RenewSecret();

    // The address to open, with the secret ("" while off or failed), and why
    // the server could not listen ("" when it does or is off).
    QString Address() const;
    QString Error() const { return error_; }
    // The QR code of Address(); empty while there is none.
    std::vector<bool> QrCode(int& width) const;

    // Called after a phone changed something that the windows show.
    std::function<void()> changed;
    // Called after a phone switched the lights on or off.
    std::function<void()> lightsChanged;

    // ColourSink, on the display's thread.
    void ShowColour(const ColourLevels& levels) override;
    void ShowIdle() override;

    // RemoteHost, on the UI thread.
    QJsonObject State() override;
    QStringList Entries(bool& changed) override;
    void Command(const QJsonObject& command) override;
    std::uint32_t ShownColour() const override;

  private:
    bool Load();

    std::string moduleDir_;
    QString secretPath_;
    PlayerCore& core_;
    PlayerState& state_;
    PlayerView& view_;
    Clock& clock_;
    std::unique_ptr<RemoteServer> server_;
    bool loadTried_ = false;
    CreateRemoteServerFn create_ = nullptr;
    QByteArray secret_;
    int mode_ = kRemoteOff;
    int port_ = 0;
    QString error_;
    std::atomic<std::uint32_t> shown_{0};
    QStringList sentEntries_;
    QString tagsPath_;
    QJsonObject tags_;
};

}  // namespace chromola
