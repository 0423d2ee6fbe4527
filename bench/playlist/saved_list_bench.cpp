// A saved list of many real files, for saved_list_bench.sh:
//
//   bench_saved_list make ROOT COUNT WAV [TRACK]
//       makes COUNT hard links to WAV in nested folders under ROOT (100 a
//       folder, 50 folders a parent) and saves them as the player's list,
//       TRACK (default: the middle one) its current entry, through the
//       player's own settings store (XDG_CONFIG_HOME).
//   bench_saved_list widget
//       reads that list back into the real main window (QT_QPA_PLATFORM,
//       offscreen by default) and prints, in ms, the median and the worst of
//       each action on the list, each followed by the repaint it causes:
//       scrolling, selecting, removing, stepping to the next entry; then the
//       close's save of the list as the player does it at exit.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string_view>
#include <vector>

#include "engine/bass_library.h"
#include "main_window/form1.h"
#include "main_window/qt_clock.h"
#include "player_core.h"
#include "playlist/chosen_files.h"
#include "settings/settings_store.h"
#include "settings/stored_state.h"

namespace {

int Make(const QString& root, int count, const QString& wav, int track) {
    QString chosen = root + QChar(u'\0');
    for (int i = 0; i < count; ++i) {
        const QString folder =
            QStringLiteral("d%1/e%2").arg(i / 5000, 2, 10, QLatin1Char('0')).arg(i / 100 % 50);
        const QString name = QStringLiteral("%1/track %2.wav").arg(folder).arg(i);
        QDir(root).mkpath(folder);
        if (::link(QFile::encodeName(wav).constData(),
                   QFile::encodeName(root + u'/' + name).constData()) != 0) {
            std::fprintf(stderr, "cannot link %s\n", qPrintable(name));
            return 1;
        }
        chosen += name + QChar(u'\0');
    }
    chosen += QChar(u'\0');
    chromola::PlayerState state;
    state.ChosenFiles = chosen;
    state.TrackIndex = track;
    const chromola::StoredSettings out = chromola::SaveStoredSettings(state, {});
    return chromola::SettingsStore::Write(out, QLocale::c()) ? 0 : 1;
}

struct Figures {
    double median;
    double worst;
};

Figures Time(int times, const std::function<void(int)>& action, QWidget& repainted) {
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < times; ++i) {
        timer.start();
        action(i);
        repainted.repaint();
        QApplication::processEvents();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

void Print(const char* name, const Figures& f) {
    std::printf("%s_ms %.3f worst %.3f\n", name, f.median, f.worst);
}

int Widget() {
    chromola::BassLibrary bass(QStringLiteral(CHROMOLA_BIN_DIR "/libbass.so"));
    bass.BASS_Init(0, 44100, 0, nullptr, nullptr);
    chromola::PlayerState state;
    chromola::WindowSettings window;
    QElapsedTimer phase;
    phase.start();
    chromola::LoadStoredSettings(chromola::SettingsStore::Read(QLocale::c()), state, window);
    std::printf("read_settings_ms %.3f\n", static_cast<double>(phase.nsecsElapsed()) / 1e6);
    chromola::Form1 form;
    chromola::QtClock clock(
        form.Timer1, [] {}, [] {});
    chromola::PlayerCore core(bass, state, form, clock);
    form.show();
    // The fill's parts, then the fill as the start does it.
    phase.start();
    const chromola::PlaylistSource source = chromola::ParseChosenFiles(state.ChosenFiles);
    const double parse = static_cast<double>(phase.nsecsElapsed()) / 1e6;
    phase.start();
    const QStringList playable = chromola::PlayableEntries(source.folder, source.names);
    const double check = static_cast<double>(phase.nsecsElapsed()) / 1e6;
    phase.start();
    form.SetEntries(playable);
    const double show = static_cast<double>(phase.nsecsElapsed()) / 1e6;
    const QStringList none;
    form.SetEntries(none);
    std::printf("parse_ms %.3f check_ms %.3f widget_ms %.3f\n", parse, check, show);
    QElapsedTimer fill;
    fill.start();
    core.playlist.FillPlaylist(false);
    QApplication::processEvents();
    std::printf("fill_ms %.3f entries %lld\n", static_cast<double>(fill.nsecsElapsed()) / 1e6,
                static_cast<long long>(form.List1->count()));
    const int count = form.List1->count();
    if (count < 1000) {
        std::fprintf(stderr, "too few entries\n");
        return 1;
    }
    std::mt19937 random(27);
    QScrollBar* bar = form.List1->verticalScrollBar();
    QWidget& list = *form.List1->viewport();
    Print("scroll", Time(
                        200,
                        [&](int i) {
                            // Half the moves a line, half a jump anywhere.
                            bar->setValue(i % 2 == 0 ? bar->value() + 1
                                                     : static_cast<int>(random() % bar->maximum()));
                        },
                        list));
    Print("select",
          Time(
              200, [&](int) { form.SelectEntry(static_cast<int>(random() % form.List1->count())); },
              list));
    Print("remove", Time(
                        200,
                        [&](int) {
                            form.SelectEntry(static_cast<int>(random() % form.List1->count()));
                            core.playlist.RemoveSelected();
                        },
                        list));
    Print("step", Time(
                      200, [&](int) { core.playlist.NextTrack(); }, list));
    clock.StopTicks();
    bass.BASS_Free();

    // What the close does with the list: the entries back into the stored
    // answer, then the settings written and flushed.
    QElapsedTimer save;
    save.start();
    state.ChosenFiles = chromola::RebuildChosenFiles(state.ChosenFiles, state.Entries);
    const bool saved =
        chromola::SettingsStore::Write(chromola::SaveStoredSettings(state, window), QLocale::c());
    std::printf("save_ms %.3f entries %lld%s\n", static_cast<double>(save.nsecsElapsed()) / 1e6,
                static_cast<long long>(state.Entries.size()), saved ? "" : " FAILED");
    return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 5 && std::string_view(argv[1]) == "make") {
        QCoreApplication app(argc, argv);
        const int count = std::atoi(argv[3]);
        return Make(QString::fromLocal8Bit(argv[2]), count, QString::fromLocal8Bit(argv[4]),
                    argc >= 6 ? std::atoi(argv[5]) : count / 2);
    }
    if (argc >= 2 && std::string_view(argv[1]) == "widget") {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        QApplication app(argc, argv);
        return Widget();
    }
    std::fprintf(stderr, "usage: bench_saved_list make ROOT COUNT WAV [TRACK] | widget\n");
    return 2;
}
