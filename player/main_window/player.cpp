#include "main_window/player.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>

#include "common/twips.h"
#include "display/display_controller.h"
#include "engine/playback.h"
#include "help_window/form2.h"
#include "main_window/form1.h"
#include "main_window/keyboard_control.h"
#include "main_window/num_lock.h"
#include "playlist/chosen_files.h"
#include "settings/settings_store.h"

namespace chromola {

namespace {
const QColor kIdleColour(12, 17, 11);
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
}

Player::~Player() {
    // Tests destroy a player without closing its window: release the library
    // all the same.
    if (libraryInitialised_ && !unloaded_) {
        display_->CancelPendingStart();
        form_->Timer1.stop();
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
    bass_ = std::make_unique<BassLibrary>(library.absoluteFilePath());
    return true;
}

std::optional<int> Player::Start() {
    if (!Initialize()) {
        return 1;
    }
    form_ = std::make_unique<Form1>();
    playback_ = std::make_unique<Playback>(*bass_, state_, *form_);
    playlist_ =
        std::make_unique<PlaylistController>(state_, *form_, *playback_, options_.fileChooser);
    display_ = std::make_unique<DisplayController>(*bass_, state_, *form_, *playback_, *playlist_);
    keyboard_ = std::make_unique<KeyboardControl>(*bass_, state_, *form_, *playback_, *playlist_);
    // A track started by hand or by a key during the pause between tracks
    // replaces the pending start of the next entry.
    playlist_->beforeTrackStart = [this] {
        if (display_->isBetweenTracks()) {
            display_->CancelPendingStart();
            form_->Image1->hide();
            form_->setBackColor(Qt::black);
        }
    };
    keyboard_->onStop = [this] { display_->CancelPendingStart(); };
    keyboard_->showHelp = [this] { ShowHelp(); };
    QObject::connect(form_.get(), &Form1::unloading, [this] { Unload(); });

    // Load.
    instanceLock_ = std::make_unique<QLockFile>(options_.instanceLockPath);
    instanceLock_->setStaleLockTime(0);  // a lock is stale only when its owner is gone
    if (!instanceLock_->tryLock(0)) {
        return 0;
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
    form_->setBackColor(kIdleColour);
    numLockWasOn_ = NumLock::isOn();
    if (numLockWasOn_ == false) {
        NumLock::set(true);
    }
    ReadGainSettings();
    return std::nullopt;
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
        form_->setOuterSize(QSize(right / 2, bottom / 2));
        const QSize actual = form_->outerSize();
        form_->move((right - actual.width()) / 2, (bottom - actual.height()) / 2);
        return;
    }
    form_->move(TwipsToPixels(left), TwipsToPixels(top));
    form_->setOuterSize(QSize(TwipsToPixels(width), TwipsToPixels(height)));
}

void Player::ReadPlaylistSettings() {
    state_.ChosenFiles = stored_.path;
    state_.TrackIndex = stored_.track;
    playlist_->FillPlaylist();
    form_->VScroll1->setValue(stored_.scroll);
    display_->BrightnessChanged();
    state_.InvertColours = stored_.inverse;
}

void Player::ReadGainSettings() {
    state_.RedGain = GainFromPosition(stored_.red);
    state_.GreenGain = GainFromPosition(stored_.green);
    state_.BlueGain = GainFromPosition(stored_.blue);
}

void Player::Unload() {
    if (unloaded_ || !libraryInitialised_) {
        return;
    }
    unloaded_ = true;
    display_->CancelPendingStart();
    if (form2_ != nullptr && form2_->isVisible()) {
        form2_->close();
    }
    form_->Timer1.stop();
    bass_->BASS_Free();
    WriteSettings();
    if (numLockWasOn_ == false) {
        NumLock::set(false);
    }
    instanceLock_->unlock();
}

void Player::WriteSettings() {
    QStringList entries;
    for (int i = 0; i < form_->List1->count(); ++i) {
        entries << form_->List1->item(i)->text();
    }
    state_.ChosenFiles = RebuildChosenFiles(state_.ChosenFiles, entries);

    StoredSettings out;
    out.path = state_.ChosenFiles;
    out.scroll = form_->VScroll1->value();
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
    SettingsStore::Write(out, options_.locale);
}

void Player::ShowHelp() {
    if (form2_ == nullptr) {
        form2_ = std::make_unique<Form2>(state_, options_.locale, form_.get());
    }
    form2_->Open();
}

}  // namespace chromola
