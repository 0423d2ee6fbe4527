// A folder tree opened in the real main window (offscreen), for
// big_folder_bench.sh: the way a drop, a hand-over to a running player and
// the command line all take (PlaylistController::OpenPaths).
//
//   bench_big_folder ROOT
//
// Prints "key value" lines, in ms from the opening: first_track_ms (the
// first entry started), listed_ms (the tree read, the list in its final
// order), worst_stall_ms (the longest the event loop was kept from a key
// while the tree was read, measured by a 1 ms timer), then entries,
// peak_rss_kib (the process's peak resident memory) and
// peak_rss_before_kib (the same before the opening).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/bass_library.h"
#include "main_window/form1.h"
#include "main_window/qt_clock.h"
#include "player_core.h"

namespace {

long PeakRssKib() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

double Ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_big_folder ROOT\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    chromola::BassLibrary bass(QStringLiteral(CHROMOLA_BIN_DIR "/libbass.so"));
    bass.BASS_Init(0, 44100, 0, nullptr, nullptr);
    chromola::PlayerState state;
    chromola::Form1 form;
    chromola::QtClock clock(
        form.Timer1, [] {}, [] {});
    chromola::PlayerCore core(bass, state, form, clock);
    form.show();
    QApplication::processEvents();

    const long peakBefore = PeakRssKib();
    QElapsedTimer opened;
    double firstTrack = -1;
    double worstStall = 0;
    QElapsedTimer sinceBeat;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    beat.setInterval(1);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        worstStall = std::max(worstStall, Ms(sinceBeat));
        sinceBeat.start();
        if (firstTrack < 0 && state.CurrentChannel != 0 &&
            bass.BASS_ChannelIsActive(state.CurrentChannel) != 0) {
            firstTrack = Ms(opened);
        }
        if (!core.playlist.Opening()) {
            app.quit();
        }
    });
    opened.start();
    sinceBeat.start();
    core.playlist.OpenPaths({QString::fromLocal8Bit(argv[1])});
    beat.start();
    app.exec();
    const double listed = Ms(opened);
    std::printf("first_track_ms %.1f\nlisted_ms %.1f\nworst_stall_ms %.1f\nentries %lld\n",
                firstTrack, listed, worstStall, static_cast<long long>(form.List1->count()));
    std::printf("peak_rss_kib %ld\npeak_rss_before_kib %ld\n", PeakRssKib(), peakBefore);
    clock.StopTicks();
    bass.BASS_Free();
    return form.List1->count() > 0 ? 0 : 1;
}
