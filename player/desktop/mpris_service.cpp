#include "desktop/mpris_service.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>
#include <QVariantMap>

#include "desktop/desktop_entry.h"

namespace chromola {

namespace {

constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
constexpr char kServiceName[] = "org.mpris.MediaPlayer2.chromola";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
// Taking and giving up the bus names are calls the bus answers; a bus that
// does not would hold the start (twice) or the exit for libdbus's default
// 25 s each. Past this the player goes on without media controls.
constexpr int kBusCallTimeoutMs = 2000;

// Runs after the caller's reply has gone out.
void Later(QObject* context, std::function<void()> action) {
    QTimer::singleShot(0, context, std::move(action));
}

}  // namespace

class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

  public:
    MprisRootAdaptor(QObject* parent, std::function<void()> raise, std::function<void()> quit)
        : QDBusAbstractAdaptor(parent), raise_(std::move(raise)), quit_(std::move(quit)) {}

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return QStringLiteral("Chromola"); }
    QString desktopEntry() const { return QString::fromLatin1(kDesktopEntry); }
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList supportedMimeTypes() const {
        return QString::fromLatin1(kMimeTypes).split(u';', Qt::SkipEmptyParts);
    }

  public slots:
    void Raise() { Later(this, raise_); }
    void Quit() { Later(this, quit_); }

  private:
    std::function<void()> raise_;
    std::function<void()> quit_;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

  public:
    MprisPlayerAdaptor(QObject* parent, MprisState& state)
        : QDBusAbstractAdaptor(parent), state_(state) {}

    QString playbackStatus() const {
        return state_.Snapshot().playing ? QStringLiteral("Playing") : QStringLiteral("Stopped");
    }
    // The player plays at one speed and one volume; what is set is ignored.
    double rate() const { return 1.0; }
    void setRate(double) {}
    double volume() const { return 1.0; }
    void setVolume(double) {}
    QVariantMap metadata() const {
        const MprisTrack& track = state_.Track();
        QVariantMap map;
        map.insert(QStringLiteral("mpris:trackid"),
                   QVariant::fromValue(QDBusObjectPath(
                       track.trackId.isEmpty() ? QString::fromLatin1(kNoTrackId) : track.trackId)));
        if (track.trackId.isEmpty()) {
            return map;
        }
        if (track.lengthUs >= 0) {
            map.insert(QStringLiteral("mpris:length"), static_cast<qlonglong>(track.lengthUs));
        }
        map.insert(QStringLiteral("xesam:title"), track.title);
        if (!track.artists.isEmpty()) {
            map.insert(QStringLiteral("xesam:artist"), track.artists);
        }
        map.insert(QStringLiteral("xesam:url"), track.url);
        if (track.bpm > 0) {
            map.insert(QStringLiteral("xesam:audioBPM"), track.bpm);
        }
        return map;
    }
    qlonglong position() const { return state_.PositionUs(); }
    bool canGoNext() const { return state_.Snapshot().canGoNext; }
    bool canGoPrevious() const { return state_.Snapshot().canGoPrevious; }
    bool canPlay() const { return state_.Snapshot().canPlay; }
    bool canPause() const { return false; }
    bool canSeek() const { return state_.Snapshot().canSeek; }
    bool canControl() const { return true; }

  public slots:
    void Next() { state_.Next(); }
    void Previous() { state_.Previous(); }
    void Pause() {}
    void PlayPause() { state_.Play(); }
    void Stop() { state_.Stop(); }
    void Play() { state_.Play(); }
    void Seek(qlonglong Offset) { state_.Seek(Offset); }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
        state_.SetPosition(TrackId.path(), Position);
    }
    void OpenUri(const QString& Uri) { state_.OpenUri(Uri); }

  signals:
    void Seeked(qlonglong Position);

  private:
    MprisState& state_;
};

MprisService::MprisService(MprisState& state, std::function<void()> raise,
                           std::function<void()> quit)
    : state_(state) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    if (QDBusConnectionInterface* daemon = bus.interface()) {
        daemon->setTimeout(kBusCallTimeoutMs);
    }
    // Owned by this object, as Qt's adaptors are by the object they serve.
    new MprisRootAdaptor(this, std::move(raise), std::move(quit));
    auto* player = new MprisPlayerAdaptor(this, state_);
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this,
                            QDBusConnection::ExportAdaptors)) {
        return;
    }
    const QString name = QString::fromLatin1(kServiceName);
    const QString instance =
        name + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
    if (bus.registerService(name)) {
        serviceName_ = name;
    } else if (bus.registerService(instance)) {
        serviceName_ = instance;
    } else {
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
        return;
    }
    state_.propertiesChanged = [this](const QStringList& names) { AnnounceChanges(names); };
    state_.seeked = [player](long long positionUs) {
        emit player->Seeked(static_cast<qlonglong>(positionUs));
    };
}

MprisService::~MprisService() {
    state_.propertiesChanged = nullptr;
    state_.seeked = nullptr;
    if (!serviceName_.isEmpty()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(serviceName_);
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
    }
}

void MprisService::AnnounceChanges(const QStringList& names) {
    const QObject* player = findChild<MprisPlayerAdaptor*>();
    QVariantMap changed;
    QStringList invalidated;
    for (const QString& name : names) {
        // Until something has asked for the track, a new one is announced
        // without its value: whoever wants it asks, and its tags are read then.
        if (name == QLatin1String("Metadata") && !state_.TrackAsked()) {
            invalidated << name;
        } else {
            changed.insert(name, player->property(name.toLatin1().constData()));
        }
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << invalidated;
    QDBusConnection::sessionBus().send(signal);
}

}  // namespace chromola

#include "mpris_service.moc"
