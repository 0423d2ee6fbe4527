// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C in a terminal, `kill`) end
// the player the way closing its window does, so that the shutdown runs:
// the settings are written and NumLock is given back. The handler only
// writes a byte to a socket; the event loop does the rest.
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace chromola {

class QuitOnSignals : public QObject {
  public:
    explicit QuitOnSignals(std::function<void()> quit);
    ~QuitOnSignals() override;

  private:
    std::function<void()> quit_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace chromola
