#include "main_window/player.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/twips.h"
#include "desktop/instance_link.h"
#include "desktop/instance_lock.h"
#include "desktop/mpris_service.h"
#include "desktop/mpris_state.h"
#include "display/colour_log.h"
#include "help_window/form2.h"
#include "lights/lights_link.h"
#include "main_window/form1.h"
#include "main_window/num_lock.h"
#include "main_window/thread_clock.h"
#include "playlist/chosen_files.h"
#include "playlist/opened_paths.h"
#include "settings/settings_store.h"

namespace chromola {

namespace {
constexpr char kApplicationCaption[] = "Chromola";
}  // namespace

void ShowMessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok);
    box.exec();
}

Player::Player(PlayerOptions options) : options_(std::move(options)) {
    if (options_.programDir.isEmpty()) {
        options_.programDir = QCoreApplication::applicationDirPath();
    }
    if (options_.instanceLockPath.isEmpty()) {
        options_.instanceLockPath =
            QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
            QStringLiteral("/chromola.lock");
    }
    if (options_.instanceSocketPath.isEmpty()) {
        options_.instanceSocketPath =
            QFileInfo(options_.instanceLockPath).dir().filePath(QStringLiteral("chromola.socket"));
    }
}

Player::~Player() {
    // Tests destroy a player without closing its window: release the library
    // all the same.
    if (libraryInitialised_ && !unloaded_) {
        core_->display.CancelPendingStart();
        clock_->StopTicks();
        bass_->BASS_Free();
    }
}

bool Player::Initialize() {
    QDir::setCurrent(options_.programDir);
    const QFileInfo library(QDir(options_.programDir).filePath(kBassLibraryFileName));
    if (!library.isFile()) {
        options_.messageBox(QMessageBox::Critical, QString::fromLatin1(kApplicationCaption),
                            QStringLiteral("BASS.DLL Не найдена"));
        return false;
    }
    if (options_.library != nullptr && options_.library->path() == library.absoluteFilePath()) {
        bass_ = std::move(options_.library);
    } else {
        bass_ = std::make_shared<BassLibrary>(library.absoluteFilePath());
    }
    return true;
}

std::optional<int> Player::Start() {
    if (!Initialize()) {
        return 1;
    }
    form_ = std::make_unique<Form1>();
    // Where the X server draws the colour, the display ticks on a thread of
    // its own and the UI thread sleeps while a track plays.
    // A tick thread that cannot be made (no descriptor or thread to spare)
    // leaves the ticks on the UI thread's timer.
    auto tick = [this] { core_->display.Tick(); };
    auto pauseElapsed = [this] { core_->display.PauseElapsed(); };
    if (form_->drawsFromAnyThread() && qgetenv("CHROMOLA_TICK_THREAD") != "0") {
        clock_ = ThreadClock::Create(tick, pauseElapsed);
        if (clock_ == nullptr) {
            std::fprintf(stderr, "Chromola: display tick thread: %s; ticking on the UI thread\n",
                         std::strerror(errno));
        }
    }
    const bool tickThread = clock_ != nullptr;
    if (!tickThread) {
        clock_ = std::make_unique<QtClock>(form_->Timer1, tick, pauseElapsed);
    }
    core_ = std::make_unique<PlayerCore>(*bass_, state_, *form_, *clock_);
    if (tickThread) {
        core_->display.DrawFramesWith(form_.get());
    }
    if (const QByteArray log = qgetenv("CHROMOLA_COLOUR_LOG"); !log.isEmpty()) {
        colourLog_ = std::make_unique<ColourLog>(log.toStdString(), *clock_);
        core_->display.AddSink(colourLog_.get());
    }
    ConnectWindow();

    // Load.
    instanceLock_ = std::make_unique<InstanceLock>(options_.instanceLockPath);
    switch (instanceLock_->TryLock()) {
        case InstanceLock::Result::kLocked:
            break;
        case InstanceLock::Result::kHeld:
            // Another instance runs: it takes the files, if any.
            if (!options_.openPaths.isEmpty() &&
                !HandOverPaths(options_.instanceSocketPath, options_.openPaths)) {
                std::fputs("Chromola: запущенный проигрыватель не принял файлы\n", stderr);
                return 1;
            }
            return 0;
        case InstanceLock::Result::kUnavailable:
            // The lock cannot be made at all (a full or read-only runtime
            // folder): run without the guard rather than vanish unseen.
            instanceLock_.reset();
            break;
    }
    instanceServer_ = std::make_unique<InstanceServer>(
        options_.instanceSocketPath, [this](const QStringList& paths) { OpenFromOutside(paths); });
    // Without the lock another player may be listening there.
    if (instanceLock_ != nullptr) {
        instanceServer_->Listen();
    }
    const DWORD version = bass_->BASS_GetVersion();
    if ((version >> 16) != kExpectedVersion) {
        options_.messageBox(QMessageBox::Critical, QString::fromLatin1(kApplicationCaption),
                            QStringLiteral("Не корректная версия BASS.DLL!"));
        return 1;
    }
    if (bass_->BASS_Init(options_.outputDevice, kInitFrequency, 0,
                         reinterpret_cast<void*>(form_->winId()), nullptr) == 0) {
        ReportEngineError(QStringLiteral("Устройство не иницианализировано"));
        return 1;
    }
    libraryInitialised_ = true;
    stored_ = SettingsStore::Read(options_.locale);
    ReadWindowSettings();
    bass_->BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 10000);
    ReadPlaylistSettings();
    core_->display.ShowIdleColour();
    numLockWasOn_ = NumLock::isOn();
    if (numLockWasOn_ == false) {
        NumLock::set(true);
    }
    ReadGainSettings();
    // Files from outside take the place of live mode as of a stored track.
    if (stored_.live == 1 && options_.openPaths.isEmpty()) {
        core_->live.Enter();
    }
    // Without a session bus nobody could see the media controls: their
    // state (which reads every track's tags) is not kept either.
    if (options_.mediaControls && QDBusConnection::sessionBus().isConnected()) {
        mprisState_ = std::make_unique<MprisState>(*bass_, state_, *clock_, *core_);
        mpris_ = std::make_unique<MprisService>(
            *mprisState_, [this] { form_->BringToFront(); }, [this] { form_->close(); });
    }
    return std::nullopt;
}

void Player::OpenFromOutside(const QStringList& paths) {
    if (!isLoaded()) {
        return;
    }
    // Files that hold nothing to play leave the list alone; the stored one
    // then plays if it was held back for them.
    if (!core_->playlist.OpenPaths(paths) && !playlistFilled_) {
        core_->playlist.FillPlaylist();
    }
    playlistFilled_ = true;
    form_->BringToFront();
}

void Player::ConnectWindow() {
    Form1& form = *form_;
    PlayerCore& core = *core_;
    QObject::connect(form.Command1, &QPushButton::clicked, &form, [this, &core] {
        const QString folder = DialogFolder(
            state_.PlaylistFolder, QStandardPaths::writableLocation(QStandardPaths::MusicLocation),
            QDir::homePath());
        core.playlist.ChooseFiles(options_.fileChooser(form_.get(), folder));
    });
    QObject::connect(&form, &Form1::entryActivated, &form,
                     [&core] { core.playlist.PlaySelected(); });
    QObject::connect(&form, &Form1::pathsDropped, &form,
                     [&core](const QStringList& paths) { core.playlist.OpenPaths(paths); });
    QObject::connect(form.Command2, &QPushButton::clicked, &form,
                     [&core] { core.playlist.PreviousTrack(); });
    QObject::connect(form.Command3, &QPushButton::clicked, &form,
                     [&core] { core.playlist.NextTrack(); });
    QObject::connect(form.List1, &QListWidget::itemDoubleClicked, &form,
                     [&core] { core.playlist.PlaySelected(); });
    QObject::connect(form.mDel, &QAction::triggered, &form,
                     [&core] { core.playlist.RemoveSelected(); });
    QObject::connect(&form, &Form1::keyDown, &form, [&core](QKeyEvent* event) {
        core.keyboard.KeyDown(KeyCodeOf(event->key(), event->modifiers()));
    });
    // Only dragging the thumb seeks; clicks on the arrows or the track move
    // the bar without seeking. The bar reports the thumb's new place before
    // it takes it as its value.
    QObject::connect(form.HScroll1, &QScrollBar::sliderMoved, &form,
                     [&core](int position) { core.keyboard.SeekTo(position); });
    QObject::connect(form.VScroll1, &QScrollBar::valueChanged, &form,
                     [&core](int value) { core.display.BrightnessChanged(value); });
    QObject::connect(&form, &Form1::helpRequested, &form, [this] { ShowHelp(); });
    QObject::connect(&form, &Form1::unloading, &form, [this] { Unload(); });
}

void Player::ReportEngineError(const QString& message) {
    const int code = bass_->BASS_ErrorGetCode();
    options_.messageBox(QMessageBox::Warning, QStringLiteral("Error"),
                        message + QStringLiteral("\n\nОшибка номер: ") + QString::number(code));
}

void Player::ReadWindowSettings() {
    form_->setWindowStateValue(stored_.state);
    state_.PauseSeconds = stored_.pause;
    PlaceWindow(stored_.left, stored_.top, stored_.width, stored_.height);
}

void Player::PlaceWindow(int left, int top, int width, int height) {
    if (left < 1 || top < 1) {
        // Half the rectangle from the screen's origin to the work area's right
        // and bottom edges, centred in it.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect work = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 960, 614);
        const int right = work.x() + work.width();
        const int bottom = work.y() + work.height();
        const QSize half(right / 2, bottom / 2);
        form_->setOuterGeometry(
            QRect(QPoint((right - half.width()) / 2, (bottom - half.height()) / 2), half));
        return;
    }
    form_->setOuterGeometry(QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                                  TwipsToPixels(height)));
}

void Player::ReadPlaylistSettings() {
    state_.ChosenFiles = stored_.path;
    state_.TrackIndex = stored_.track;
    if (options_.openPaths.isEmpty()) {
        // A player closed in live mode comes back in it, without starting
        // the stored track first. The stored track opens on the event
        // loop's first pass, once the window is shown.
        if (stored_.live == 0) {
            core_->playlist.FillPlaylistStartingLater();
            QTimer::singleShot(0, form_.get(), [this] {
                if (isLoaded()) {
                    core_->playlist.StartPendingTrack();
                }
            });
        } else {
            core_->playlist.FillPlaylist(false);
        }
        playlistFilled_ = true;
    } else {
        // Opened with the files that other starts hand over meanwhile.
        instanceServer_->Add(options_.openPaths);
    }
    core_->display.BrightnessChanged(stored_.scroll);
    state_.InvertColours = stored_.inverse;
}

void Player::ReadGainSettings() {
    state_.RedGain = GainFromPosition(stored_.red);
    state_.GreenGain = GainFromPosition(stored_.green);
    state_.BlueGain = GainFromPosition(stored_.blue);
    state_.FlashLimit = stored_.flashLimit;
    state_.AutoLevel = stored_.autoLevel;
    state_.LiveSource = stored_.liveSource;
    state_.Lights = LightsOptions{stored_.lights == 1, stored_.universe, stored_.address,
                                  stored_.layout,      stored_.fixtures, stored_.idleLights};
    lights_ = std::make_unique<LightsLink>(QFile::encodeName(options_.programDir).toStdString(),
                                           state_.Lights);
    core_->display.AddSink(lights_.get());
}

void Player::Unload() {
    if (unloaded_ || !libraryInitialised_) {
        return;
    }
    unloaded_ = true;
    mpris_.reset();
    mprisState_.reset();
    instanceServer_.reset();
    core_->display.CancelPendingStart();
    if (form2_ != nullptr && form2_->isVisible()) {
        form2_->close();
    }
    clock_->StopTicks();
    bass_->BASS_Free();
    WriteSettings();
    if (numLockWasOn_ == false) {
        NumLock::set(false);
    }
    if (instanceLock_ != nullptr) {
        instanceLock_->Unlock();
    }
}

void Player::WriteSettings() {
    // A stored list held back for files that had not yet been opened is kept.
    if (playlistFilled_) {
        state_.ChosenFiles = RebuildChosenFiles(state_.ChosenFiles, state_.Entries);
    }

    StoredSettings out;
    out.path = state_.ChosenFiles;
    out.scroll = core_->display.BrightnessValue();
    out.state = form_->windowStateValue();
    out.track = state_.TrackIndex;
    const QRect frame = form_->frameGeometry();
    out.left = PixelsToTwips(frame.x());
    out.top = PixelsToTwips(frame.y());
    const QSize outer = form_->outerSize();
    out.width = PixelsToTwips(outer.width());
    out.height = PixelsToTwips(outer.height());
    out.pause = state_.PauseSeconds;
    out.inverse = state_.InvertColours;
    out.red = PositionFromGain(state_.RedGain);
    out.green = PositionFromGain(state_.GreenGain);
    out.blue = PositionFromGain(state_.BlueGain);
    out.flashLimit = state_.FlashLimit;
    out.autoLevel = state_.AutoLevel;
    out.live = state_.Live;
    out.liveSource = state_.LiveSource;
    const LightsOptions lights = state_.Lights.Clamped();
    out.lights = lights.enabled ? 1 : 0;
    out.universe = lights.universe;
    out.address = lights.address;
    out.layout = lights.layout;
    out.fixtures = lights.fixtures;
    out.idleLights = lights.idleLights;
    SettingsStore::Write(out, options_.locale);
}

void Player::ShowHelp() {
    if (form2_ == nullptr) {
        form2_ = std::make_unique<Form2>(state_, options_.locale, form_.get());
        form2_->lightsChanged = [this] { lights_->SetOptions(state_.Lights); };
        form2_->lightsConnected = [this] { return lights_->Connected(); };
    }
    form2_->Open();
}

}  // namespace chromola
