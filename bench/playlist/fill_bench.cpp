// Filling the playlist from a stored answer of 10,000 files: parsing
// `ChosenFiles`, checking every file and adding it to the real list widget,
// then starting the first entry (an empty file, so the start fails fast).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

#include "engine/bass_library.h"
#include "main_window/form1.h"
#include "main_window/qt_clock.h"
#include "player_core.h"

namespace {

void BM_FillPlaylist(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    QString chosen = dir.path() + QChar(u'\0');
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("track %1.mp3").arg(i, 5, 10, QLatin1Char('0'));
        QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
        chosen += name + QChar(u'\0');
    }
    chosen += QChar(u'\0');

    chromola::BassLibrary bass(QStringLiteral(CHROMOLA_BIN_DIR "/libbass.so"));
    bass.BASS_Init(0, 44100, 0, nullptr, nullptr);
    chromola::PlayerState playerState;
    chromola::Form1 form;
    chromola::QtClock clock(
        form.Timer1, [] {}, [] {});
    chromola::PlayerCore core(bass, playerState, form, clock);
    for (auto _ : state) {
        playerState.ChosenFiles = chosen;
        playerState.TrackIndex = 0;
        core.playlist.FillPlaylist();
        if (form.List1->count() != count) {
            state.SkipWithError("entries missing");
        }
    }
    bass.BASS_Free();
}
BENCHMARK(BM_FillPlaylist)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
