// Threads of the player process, what each owns, whom it waits on, and for
// how long at most. The audio library's own threads and locks are written
// down in libbass/library.cpp; here they are seen from the player.
//
// - The UI thread (Qt's event loop) owns the windows, the player's state
//   (player_state.h: what a tick reads is atomic), the controllers of the
//   core, the settings, the pause between tracks, the instance server's
//   socket, the media controls on the session bus and the lights' options.
//   It waits on: the tick thread, in ThreadClock::StopTicks, for a tick under
//   way (a tick never waits long, below); the X server through Qt's own
//   connection (Qt's replies have no deadline: the one wait of the player on
//   another process without one); the session bus, 2 s for a bus name and
//   libdbus's 25 s for the connection at start; the audio library's calls
//   (up to the sound server's deadlines of 2 s at start and when live mode
//   starts, library.cpp); the light senders when they end, 1.5 s (OLA) and
//   1 s (DDP) at most.
// - The display tick (ThreadClock, "display tick"): a timerfd every 17 ms
//   while a track or live mode plays. A tick holds ThreadClock's tick mutex
//   while it runs; it reads the spectrum and the position from the audio
//   library (lock-free or moments under a channel's spectrum mutex), draws
//   through the FramePainter under the colour link's mutex, and hands the
//   colour to the sinks, which never wait (the light senders take it through
//   an atomic slot and a futex wake-up, a strip's frame, painted on the
//   tick, through a buffer of three swapped by one atomic exchange; the
//   first 60 pixels go to atomic words that the set-up window's preview
//   reads; the colour log writes a line). It
//   never waits on the X server: the link writes only what the socket takes
//   at once and keeps the rest in xcb's buffer, dropping per-frame requests
//   past a bound (server_link.cpp). What a tick changes beyond its frame
//   (the position bar, the end of a track, a lost live source) goes to the
//   UI thread through RunOnOwner's queue and eventfd. The thread raises its
//   priority at its start (thread_priority.h), half a second at most on the
//   system bus, before its first tick.
// - At start, two threads that the UI thread joins before it needs them: the
//   audio library's loading and output start (BassLibrary::StartAhead,
//   joined by the first call into the library) and the font configuration's
//   reading (main.cpp).
// - The audio library's threads: the output (libpulse's main loop, or the
//   ALSA or no-sound writer), one decoder per channel, one main loop per
//   capture in live mode. The player never calls into them; it only calls
//   the library's C API, from the UI thread and the tick.
// - The beat analysis (TrackBeats, track_beats.h), at the lowest priority
//   (SCHED_IDLE) while colour on the beat is on: it decodes the playing
//   track and the next one through decoding channels of the audio library
//   and reads and writes the beat cache. It waits on nothing of the player's
//   but its job queue; the UI thread waits for it only when the player ends
//   (one block of decoding at most, then it sees the quit). The tick takes
//   its grids under a try-lock and never waits on it.
// - The light senders, one per output switched on, each a thread of its
//   module's own (ola_lights.cpp, ddp_lights.cpp): they own their sockets,
//   look up and connect, and send the newest frame. They wait on olad or the
//   network with deadlines (0.5 s to connect to olad, 2 s for its answer to
//   a last frame; DDP never blocks), and on nothing of the player's.
// - The remote's server (remote/remote_server.h), when it is switched on,
//   runs on the UI thread's event loop: its sockets, its timer that pushes
//   the colour and the state to phones, and the commands, which it hands to
//   the core as the keys do. The tick only stores the colour in one atomic
//   word (RemoteLink::ShowColour); the server never waits on a phone.
// - A folder scan (folder_scan.h), while files opened from outside are read:
//   it reads the file system only and hands what it finds to the UI thread
//   through the event loop. Opening again, choosing files and closing stop
//   it, waiting 0.5 s at most for the folder it is reading.
// - A start that hands its files to the running player (instance_link.h)
//   does so before it makes any thread, window or connection, and waits for
//   the running player's socket 5 s at most.
//
// Lock order, where one thread holds two: ThreadClock's tick mutex, then the
// colour link's mutex, then the audio library's (library.cpp). The UI thread
// takes the link's mutex alone and never while it holds the tick mutex of a
// stop; RunOnOwner's queue mutex is taken alone.
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
#include "remote/remote_link.h"
#include "remote/remote_secret.h"
#include "settings/settings_store.h"
#include "settings/stored_state.h"
#include "setup_window/setup_window.h"

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
        options_.instanceLockPath = DefaultInstanceLockPath();
    }
    if (options_.instanceSocketPath.isEmpty()) {
        options_.instanceSocketPath = InstanceSocketBeside(options_.instanceLockPath);
    }
}

Player::~Player() {
    // Tests destroy a player without closing its window: release the library
    // all the same.
    if (libraryInitialised_ && !unloaded_) {
        core_->sequence.CancelPendingStart();
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
    // A start that only hands files over to the running player ends here,
    // before it opens a window, an X connection or a sound stream.
    if (!options_.instanceClaim) {
        options_.instanceClaim = ClaimInstance(options_.instanceLockPath,
                                               options_.instanceSocketPath, options_.openPaths);
    }
    if (options_.instanceClaim->exitStatus) {
        return options_.instanceClaim->exitStatus;
    }
    instanceLock_ = std::move(options_.instanceClaim->lock);
    if (!Initialize()) {
        return 1;
    }
    form_ = std::make_unique<Form1>();
    // Where the X server draws the colour, the display ticks on a thread of
    // its own and the UI thread sleeps while a track plays.
    // A tick thread that cannot be made (no descriptor or thread to spare)
    // leaves the ticks on the UI thread's timer.
    auto tick = [this] { core_->display.Tick(); };
    auto pauseElapsed = [this] { core_->sequence.PauseElapsed(); };
    if (form_->framePainter().drawsFromAnyThread() && qgetenv("CHROMOLA_TICK_THREAD") != "0") {
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
    // Files opened from outside take the stored list's place once they list
    // something; when they hold nothing to play, the stored list plays if it
    // was held back for them.
    core_->playlist.listOpened = [this] { playlistFilled_ = true; };
    core_->playlist.nothingOpened = [this] {
        if (!playlistFilled_) {
            playlistFilled_ = true;
            core_->playlist.FillPlaylist();
        }
    };
    if (tickThread) {
        core_->display.DrawFramesWith(&form_->framePainter());
    }
    if (const QByteArray log = qgetenv("CHROMOLA_COLOUR_LOG"); !log.isEmpty()) {
        colourLog_ = std::make_unique<ColourLog>(log.toStdString(), *clock_);
        core_->display.AddSink(colourLog_.get());
    }
    if (const QByteArray log = qgetenv("CHROMOLA_BEAT_LOG"); !log.isEmpty()) {
        beatLog_ = std::make_unique<BeatLog>(log.toStdString());
        core_->display.LogBeatsTo(beatLog_.get());
    }
    core_->beats.tempoChanged = [this](int bpm) {
        if (setup_ != nullptr) {
            setup_->ShowTempo(bpm);
        }
        if (mprisState_ != nullptr) {
            mprisState_->TempoChanged(bpm);
        }
    };
    ConnectWindow();

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
    LoadStoredSettings(SettingsStore::Read(options_.locale), state_, window_);
    ReadWindowSettings();
    bass_->BASS_SetConfig(BASS_CONFIG_GVOL_STREAM, 10000);
    ReadPlaylistSettings();
    core_->display.ShowIdleColour();
    numLockWasOn_ = NumLock::isOn();
    if (numLockWasOn_ == false) {
        NumLock::set(true);
    }
    StartLights();
    StartRemote();
    // Files from outside take the place of live mode as of a stored track.
    if (window_.live && options_.openPaths.isEmpty()) {
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
    core_->playlist.OpenPaths(paths);
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
    QObject::connect(form.List1, &QListView::doubleClicked, &form,
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
    QObject::connect(&form, &Form1::setupRequested, &form, [this] { ShowSetup(); });
    QObject::connect(&form, &Form1::unloading, &form, [this] { Unload(); });
}

void Player::ReportEngineError(const QString& message) {
    const int code = bass_->BASS_ErrorGetCode();
    options_.messageBox(QMessageBox::Warning, QStringLiteral("Error"),
                        message + QStringLiteral("\n\nОшибка номер: ") + QString::number(code));
}

void Player::ReadWindowSettings() {
    form_->setWindowStateValue(window_.state);
    PlaceWindow(window_.left, window_.top, window_.width, window_.height);
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
    if (options_.openPaths.isEmpty()) {
        // A player closed in live mode comes back in it, without starting
        // the stored track first. Otherwise the stored list is checked and
        // listed, and its track started, on the event loop's first pass,
        // once the window is shown: a list of tens of thousands costs the
        // window nothing. Until then a close keeps the stored list as it is,
        // and files handed over meanwhile take its place.
        if (!window_.live) {
            form_->ShowPicture(state_.ChosenFiles.isEmpty());
            QTimer::singleShot(0, form_.get(), [this] {
                // The window reaches the screen before the list is checked.
                QGuiApplication::sync();
                if (isLoaded() && !playlistFilled_) {
                    playlistFilled_ = true;
                    core_->playlist.FillPlaylist();
                }
            });
        } else {
            core_->playlist.FillPlaylist(false);
            playlistFilled_ = true;
        }
    } else {
        // Opened with the files that other starts hand over meanwhile.
        instanceServer_->Add(options_.openPaths);
    }
    core_->display.BrightnessChanged(window_.scroll);
}

void Player::StartLights() {
    lights_ = std::make_unique<LightsLink>(QFile::encodeName(options_.programDir).toStdString(),
                                           state_.Lights);
    core_->display.AddSink(lights_.get());
}

void Player::StartRemote() {
    remote_ = std::make_unique<RemoteLink>(QFile::encodeName(options_.programDir).toStdString(),
                                           RemoteSecretPath(), *core_, state_, *form_, *clock_);
    core_->display.AddSink(remote_.get());
    remote_->changed = [this] { ShowStateInWindows(); };
    remote_->lightsChanged = [this] { lights_->SetOptions(state_.Lights); };
    remote_->Apply();
}

void Player::ShowStateInWindows() {
    if (form2_ != nullptr) {
        form2_->ShowState();
    }
    if (setup_ != nullptr) {
        setup_->ShowState();
    }
}

void Player::Unload() {
    if (unloaded_ || !libraryInitialised_) {
        return;
    }
    unloaded_ = true;
    mpris_.reset();
    mprisState_.reset();
    instanceServer_.reset();
    remote_->Stop();
    core_->playlist.CancelOpening();
    core_->sequence.CancelPendingStart();
    if (form2_ != nullptr && form2_->isVisible()) {
        form2_->close();
    }
    if (setup_ != nullptr && setup_->isVisible()) {
        setup_->close();
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

    WindowSettings window = window_;
    window.scroll = core_->display.BrightnessValue();
    window.state = form_->windowStateValue();
    const QRect frame = form_->frameGeometry();
    window.left = PixelsToTwips(frame.x());
    window.top = PixelsToTwips(frame.y());
    const QSize outer = form_->outerSize();
    window.width = PixelsToTwips(outer.width());
    window.height = PixelsToTwips(outer.height());
    window.live = state_.Live == 1;
    const StoredSettings out = SaveStoredSettings(state_, window);
    SettingsStore::Write(out, options_.locale);
}

void Player::ShowHelp() {
    if (form2_ == nullptr) {
        form2_ = std::make_unique<Form2>(state_, options_.locale, form_.get());
        QObject::connect(form2_.get(), &Form2::setupRequested, form2_.get(),
                         [this] { ShowSetup(); });
    }
    form2_->Open();
}

void Player::ShowSetup() {
    if (setup_ == nullptr) {
        setup_ = std::make_unique<SetupWindow>(state_, window_.setup, form_.get());
        setup_->lightsChanged = [this] { lights_->SetOptions(state_.Lights); };
        setup_->lightsStatus = [this] { return lights_->Status(); };
        setup_->lightsPreview = [this](StripPreview::Pixels& out) { return lights_->Preview(out); };
        setup_->beatsChanged = [this] { core_->beats.OptionsChanged(); };
        setup_->remoteChanged = [this] { remote_->Apply(); };
        setup_->renewRemoteKey = [this] { remote_->RenewSecret(); };
        setup_->remoteStatus = [this] {
            RemoteStatus status{remote_->Address(), remote_->Error(), {}, 0};
            status.code = remote_->QrCode(status.codeWidth);
            return status;
        };
    }
    setup_->Open();
    setup_->ShowTempo(core_->beats.Bpm());
}

}  // namespace chromola
