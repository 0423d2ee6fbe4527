// Prints the beats that our analysis finds in a sound file, one time in
// seconds a line, for the accuracy benchmark (beats_bench.py):
//   bench_beats file FILE   the whole-file analysis
//   bench_beats live FILE   the live tracker, fed blocks of 1024 frames
// On standard error: "bpm B cpu C audio A", B the tempo (live: the one locked
// at the last beat), C the processor seconds of the
// analysis alone (reading the file excluded), A the file's length.
#include "beats/beat_grid.h"
#include "beats/live_beats.h"

#include <sndfile.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "file") != 0 && std::strcmp(argv[1], "live") != 0)) {
        std::fprintf(stderr, "usage: %s file|live FILE\n", argv[0]);
        return 2;
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(argv[2], SFM_READ, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot open %s: %s\n", argv[2], sf_strerror(nullptr));
        return 1;
    }
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    std::vector<float> mono(static_cast<std::size_t>(got));
    for (sf_count_t i = 0; i < got; ++i) {
        float sum = 0.0f;
        for (int c = 0; c < info.channels; ++c)
            sum += interleaved[static_cast<std::size_t>(i) * info.channels + c];
        mono[static_cast<std::size_t>(i)] = sum / static_cast<float>(info.channels);
    }

    std::vector<double> beats;
    double bpm = 0.0;
    const double start = CpuSeconds();
    if (std::strcmp(argv[1], "file") == 0) {
        chromola::beats::BeatGrid grid = chromola::beats::AnalyseBeats(mono, info.samplerate);
        beats = std::move(grid.beats);
        bpm = grid.bpm;
    } else {
        chromola::beats::LiveBeatTracker tracker(info.samplerate);
        std::vector<chromola::beats::LiveEvent> events;
        for (std::size_t at = 0; at < mono.size(); at += 1024) {
            events.clear();
            tracker.Push(mono.data() + at, std::min<std::size_t>(1024, mono.size() - at), events);
            for (const auto& event : events)
                if (event.kind == chromola::beats::LiveEvent::Kind::Beat) {
                    beats.push_back(event.seconds);
                    bpm = tracker.Bpm();  // the tempo locked at the last beat
                }
        }
    }
    const double cpu = CpuSeconds() - start;
    for (double t : beats)
        std::printf("%.4f\n", t);
    std::fprintf(stderr, "bpm %.2f cpu %.6f audio %.3f\n", bpm, cpu,
                 static_cast<double>(got) / info.samplerate);
    return 0;
}
