#include "remote/remote_link.h"

#include <QFileInfo>
#include <QJsonArray>

#include <dlfcn.h>

#include <cmath>
#include <cstdio>

#include "desktop/track_tags.h"
#include "lights/packed_colour.h"
#include "remote/remote_secret.h"
#include "settings/settings_codec.h"

namespace chromola {

namespace {

// A whole number in [minimum, maximum], or nothing: JSON numbers that are
// not whole, out of range or of another type are refused.
std::optional<int> WholeIn(const QJsonValue& value, int minimum, int maximum) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < minimum ||
        number > maximum) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

std::optional<bool> Flag(const QJsonValue& value) {
    if (!value.isBool()) {
        return std::nullopt;
    }
    return value.toBool();
}

QString NameOf(const QString& entry) {
    return QFileInfo(entry).fileName();
}

}  // namespace

RemoteLink::RemoteLink(std::string moduleDir, QString secretPath, PlayerCore& core,
                       PlayerState& state, PlayerView& view, Clock& clock)
    : moduleDir_(std::move(moduleDir)),
      secretPath_(std::move(secretPath)),
      core_(core),
      state_(state),
      view_(view),
      clock_(clock),
      shown_(kIdleSlot) {}

RemoteLink::~RemoteLink() = default;

void RemoteLink::ShowColour(const ColourLevels& levels) {
    shown_.store(PackLevels(levels), std::memory_order_relaxed);
}

void RemoteLink::ShowIdle() {
    shown_.store(kIdleSlot, std::memory_order_relaxed);
}

std::uint32_t RemoteLink::ShownColour() const {
    const std::uint32_t shown = shown_.load(std::memory_order_relaxed);
    return shown == kIdleSlot ? PackLevels(kIdleColour) : shown;
}

bool RemoteLink::Load() {
    if (std::exchange(loadTried_, true)) {
        return create_ != nullptr;
    }
    const std::string path = moduleDir_ + '/' + kRemoteModuleFileName;
    // Never closed: Qt keeps metadata of the module's classes until exit.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    create_ = module != nullptr
                  ? reinterpret_cast<CreateRemoteServerFn>(dlsym(module, kCreateRemoteServerSymbol))
                  : nullptr;
    if (create_ == nullptr) {
        const char* why = dlerror();
        std::fprintf(stderr, "chromola: remote: cannot load %s: %s\n", path.c_str(),
                     why != nullptr ? why : "no entry point");
    }
    return create_ != nullptr;
}

void RemoteLink::Apply() {
    const int mode = state_.Remote == kRemoteLocal || state_.Remote == kRemoteNetwork
                         ? state_.Remote
                         : kRemoteOff;
    const int port = state_.RemotePort >= 1024 && state_.RemotePort <= 65535 ? state_.RemotePort
                                                                             : kDefaultRemotePort;
    if (server_ != nullptr && mode == mode_ && port == port_ && error_.isEmpty()) {
        return;
    }
    server_.reset();
    mode_ = mode;
    port_ = port;
    error_.clear();
    if (mode == kRemoteOff) {
        return;
    }
    if (!Load()) {
        error_ = QStringLiteral("Модуль пульта не загружен.");
        return;
    }
    if (secret_.isEmpty()) {
        secret_ = LoadRemoteSecret(secretPath_);
    }
    if (secret_.isEmpty()) {
        error_ = QStringLiteral("Не удалось сохранить ключ пульта.");
        return;
    }
    server_.reset(create_(*this));
    if (server_ == nullptr) {
        error_ = QStringLiteral("Сервер пульта не запущен.");
        return;
    }
    error_ = server_->Listen(mode, port, secret_);
    if (!error_.isEmpty()) {
        server_.reset();
    }
}

void RemoteLink::RenewSecret() {
    const QByteArray secret = RenewRemoteSecret(secretPath_);
    if (secret.isEmpty()) {
        return;
    }
    secret_ = secret;
    if (server_ != nullptr) {
        server_->SetSecret(secret_);
    }
}

QString RemoteLink::Address() const {
    if (server_ == nullptr) {
        return {};
    }
    const QStringList addresses = server_->Addresses();
    if (addresses.isEmpty()) {
        return {};
    }
    return addresses.first() + QStringLiteral("/#k=") + QString::fromLatin1(secret_);
}

std::vector<bool> RemoteLink::QrCode(int& width) const {
    width = 0;
    const QString address = Address();
    if (address.isEmpty()) {
        return {};
    }
    return server_->QrCode(address.toUtf8(), width);
}

QJsonObject RemoteLink::State() {
    const int count = static_cast<int>(state_.Entries.size());
    const bool live = state_.Live == 1;
    const bool playing = clock_.Ticking() && !live;
    QJsonObject out{
        {QStringLiteral("t"), QStringLiteral("state")},
        {QStringLiteral("playing"), playing},
        {QStringLiteral("between"), core_.sequence.isBetweenTracks()},
        {QStringLiteral("index"), count > 0 ? state_.TrackIndex : -1},
        {QStringLiteral("pos"), playing ? view_.Position() : 0},
        {QStringLiteral("len"), playing ? view_.PositionMaximum() : 0},
        {QStringLiteral("bright"), core_.display.BrightnessValue()},
        {QStringLiteral("red"), PositionFromGain(state_.RedGain)},
        {QStringLiteral("green"), PositionFromGain(state_.GreenGain)},
        {QStringLiteral("blue"), PositionFromGain(state_.BlueGain)},
        {QStringLiteral("invert"), state_.InvertColours == 1},
        {QStringLiteral("pause"), state_.PauseSeconds},
        {QStringLiteral("live"), live},
        {QStringLiteral("source"), state_.LiveSource == 1 ? 1 : 0},
        {QStringLiteral("flash"), state_.FlashLimit == 1},
        {QStringLiteral("auto"), state_.AutoLevel == 1},
        {QStringLiteral("lights"), state_.Lights.enabled},
    };
    QString name;
    if (count > 0 && state_.TrackIndex >= 0 && state_.TrackIndex < count && !live) {
        name = NameOf(state_.Entries.at(state_.TrackIndex));
    }
    out.insert(QStringLiteral("name"), name);
    // The tags of the track last started, read once for each.
    const QString path = core_.playback.CurrentPath();
    if (path != tagsPath_) {
        tagsPath_ = path;
        tags_ = {};
        if (!path.isEmpty()) {
            const TrackTags tags = ReadTrackTags(path);
            tags_.insert(QStringLiteral("title"), tags.title);
            tags_.insert(QStringLiteral("artist"), tags.artists.join(QStringLiteral(", ")));
        }
    }
    const bool tagged = !name.isEmpty() && QFileInfo(path).fileName() == name;
    out.insert(QStringLiteral("title"), tagged ? tags_.value(QStringLiteral("title")) : QString());
    out.insert(QStringLiteral("artist"),
               tagged ? tags_.value(QStringLiteral("artist")) : QString());
    return out;
}

QStringList RemoteLink::Entries(bool& changed) {
    // Any change to the list detaches it from the copy kept here (and so
    // must nothing else: only const access to the list here).
    changed = !(state_.Entries.size() == sentEntries_.size() &&
                state_.Entries.constData() == sentEntries_.constData());
    if (!changed) {
        return {};
    }
    sentEntries_ = state_.Entries;
    QStringList names;
    names.reserve(sentEntries_.size());
    for (const QString& entry : std::as_const(sentEntries_)) {
        names.append(NameOf(entry));
    }
    return names;
}

void RemoteLink::Command(const QJsonObject& command) {
    const QString what = command.value(QStringLiteral("cmd")).toString();
    const QJsonValue value = command.value(QStringLiteral("value"));
    bool windows = false;
    if (what == QLatin1String("play")) {
        if (const auto index = WholeIn(value, 0, static_cast<int>(state_.Entries.size()) - 1)) {
            view_.SelectEntry(*index);
            core_.playlist.PlaySelected();
        }
    } else if (what == QLatin1String("previous")) {
        core_.playlist.PreviousTrack();
    } else if (what == QLatin1String("next")) {
        core_.playlist.NextTrack();
    } else if (what == QLatin1String("stop")) {
        core_.keyboard.Stop();
    } else if (what == QLatin1String("seek")) {
        // Only a track that plays can be sought in, as with the bar.
        if (const auto seconds = WholeIn(value, 0, view_.PositionMaximum());
            seconds && clock_.Ticking() && state_.Live != 1) {
            core_.keyboard.SeekTo(*seconds);
        }
    } else if (what == QLatin1String("bright")) {
        if (const auto bright = WholeIn(value, 2, 32)) {
            core_.display.BrightnessChanged(*bright);
        }
    } else if (what == QLatin1String("red") || what == QLatin1String("green") ||
               what == QLatin1String("blue")) {
        if (const auto position = WholeIn(value, 2, 32)) {
            const float gain = GainFromPosition(*position);
            (what == QLatin1String("red")     ? state_.RedGain
             : what == QLatin1String("green") ? state_.GreenGain
                                              : state_.BlueGain) = gain;
            windows = true;
        }
    } else if (what == QLatin1String("invert")) {
        if (const auto on = Flag(value)) {
            state_.InvertColours = *on ? 1 : 0;
            windows = true;
        }
    } else if (what == QLatin1String("pause")) {
        if (value.isDouble() && std::isfinite(value.toDouble())) {
            state_.PauseSeconds = ClampPause(std::round(value.toDouble() * 100) / 100);
            windows = true;
        }
    } else if (what == QLatin1String("live")) {
        if (const auto on = Flag(value); on && *on != (state_.Live == 1)) {
            core_.live.Toggle();
        }
    } else if (what == QLatin1String("source")) {
        if (const auto source = WholeIn(value, 0, 1)) {
            state_.LiveSource = *source;
            windows = true;
        }
    } else if (what == QLatin1String("flash")) {
        if (const auto on = Flag(value)) {
            state_.FlashLimit = *on ? 1 : 0;
            windows = true;
        }
    } else if (what == QLatin1String("auto")) {
        if (const auto on = Flag(value)) {
            state_.AutoLevel = *on ? 1 : 0;
            windows = true;
        }
    } else if (what == QLatin1String("lights")) {
        if (const auto on = Flag(value); on && *on != state_.Lights.enabled) {
            state_.Lights.enabled = *on;
            if (lightsChanged) {
                lightsChanged();
            }
            windows = true;
        }
    }
    if (windows && changed) {
        changed();
    }
}

}  // namespace chromola
