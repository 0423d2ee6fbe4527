// The player on the session bus as org.mpris.MediaPlayer2.chromola (with a
// suffix when that name is taken), for the desktop's media widget and media
// keys. A thin adaptor: every value and action is MprisState's. Without a
// session bus it stays silent and the player runs as ever.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "desktop/mpris_state.h"

namespace chromola {

class MprisService : public QObject {
  public:
    MprisService(MprisState& state, std::function<void()> raise, std::function<void()> quit);
    ~MprisService() override;

    // The bus name the player took; empty without a session bus.
    const QString& serviceName() const { return serviceName_; }

  private:
    void AnnounceChanges(const QStringList& names);

    MprisState& state_;
    QString serviceName_;
};

}  // namespace chromola
