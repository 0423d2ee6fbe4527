#include "beats/live_beats.h"

#include "beats/tempo.h"

#include <algorithm>
#include <cmath>

namespace chromola::beats {

namespace {

constexpr int kHop = 128;
constexpr std::size_t kHistory = 512;  // frames of onset curve kept, ~6 s
constexpr double kAcfSeconds = 2.5;    // memory of the autocorrelation
constexpr double kMeanSeconds = 0.5;   // memory of the flux's running mean
constexpr int kTempoEvery = 8;         // frames between tempo estimates
constexpr int kLockEstimates = 8;      // agreeing estimates before a first lock
constexpr int kSwitchEstimates = 14;   // and before a locked tempo is replaced
constexpr double kSameTempo = 0.05;    // estimates this close agree
constexpr double kPhaseGain = 0.15;    // how far each comb pulls the beat phase
// The toll of a beat, as in the file analysis (kBeatToll) but lower: the live
// curve stands against a running mean rather than a centred one, and its
// typical peak is higher against the weak beats.
constexpr double kLiveBeatToll = 0.35;
// The phase comb's teeth and how much less each older one counts: two bars
// and more, so a pattern's strong off-beat does not take the beat.
constexpr int kPhaseTeeth = 12;
constexpr double kPhaseDecay = 0.95;
constexpr double kQuietSeconds = 2.0;  // silence this long forgets the tempo
// Beats go on this many beats after the last onset heard, no further: the
// end of the music, or a break, is not filled with beats.
constexpr double kHeardBeats = 1.2;
// An onset is at least this share of the strongest of the last few seconds.
constexpr double kOnsetShare = 0.1;
constexpr double kLoudestSeconds = 4.0;
// From a beat's sound to the comb's peak on the onset curve.
constexpr double kBeatDelaySeconds = 0.007;

}  // namespace

LiveBeatTracker::LiveBeatTracker(double sampleRate)
    : curve_(sampleRate, kHop),
      hop_(curve_.HopSeconds()),
      history_(kHistory, 0.0f),
      recent_(kHistory, 0.0f),
      acf_(static_cast<std::size_t>(2.0 * PeriodFrames(kMinBpm, curve_.HopSeconds())) + 3, 0.0f),
      decay_(std::exp(-curve_.HopSeconds() / kAcfSeconds)),
      peakDecay_(std::exp(-curve_.HopSeconds() / kLoudestSeconds)) {
    frames_.reserve(64);
}

double LiveBeatTracker::Bpm() const {
    return period_ > 0.0 ? 60.0 / (period_ * hop_) : 0.0;
}

double LiveBeatTracker::NextBeat() const {
    return nextBeat_ >= 0.0 ? FrameTime(nextBeat_) - kBeatDelaySeconds : -1.0;
}

float LiveBeatTracker::History(long framesAgo) const {
    if (framesAgo < 0 || framesAgo > frame_ || framesAgo >= static_cast<long>(kHistory))
        return 0.0f;
    return history_[static_cast<std::size_t>(frame_ - framesAgo) % kHistory];
}

void LiveBeatTracker::Push(const float* mono, std::size_t count, std::vector<LiveEvent>& out) {
    // In pieces, so that the frames' list stays within what was reserved.
    constexpr std::size_t kPiece = 4096;
    for (std::size_t at = 0; at < count; at += kPiece) {
        frames_.clear();
        curve_.Push(mono + at, std::min(kPiece, count - at), frames_);
        for (const OnsetFrame& frame : frames_)
            Frame(frame, out);
    }
}

// The phase of a comb of kPhaseTeeth beats of `period` over the recent
// curve: how many frames ago the last beat was.
double LiveBeatTracker::Phase(double period) const {
    const int phases = static_cast<int>(std::lround(period));
    double best = -1.0;
    int arg = 0;
    for (int phase = 0; phase < phases; ++phase) {
        double sum = 0.0, weight = 1.0;
        for (int j = 0; j < kPhaseTeeth; ++j, weight *= kPhaseDecay)
            sum += weight * History(std::lround(phase + j * period));
        if (sum > best) {
            best = sum;
            arg = phase;
        }
    }
    return arg;
}

// The comb of `period` over the recent curve at its best phase, each tooth
// the curve's peak within a frame of it less the toll.
double LiveBeatTracker::Comb(double period, double toll) const {
    const long span = std::min<long>(frame_ + 1, static_cast<long>(kHistory) - 2);
    double best = 0.0;
    bool any = false;
    for (int phase = 0; phase < static_cast<int>(std::lround(period)); ++phase) {
        double sum = 0.0;
        for (double at = phase; at < static_cast<double>(span); at += period) {
            const long i = std::lround(at);
            sum += std::max({History(i - 1), History(i), History(i + 1)}) - toll;
        }
        if (!any || sum > best) {
            best = sum;
            any = true;
        }
    }
    return best;
}

void LiveBeatTracker::UpdateTempo() {
    TempoEstimate estimate = ChooseTempo(acf_, hop_);
    if (estimate.period <= 0.0) {
        candidate_ = 0.0;
        agreeing_ = 0;
        return;
    }
    // The metrical level as the file analysis chooses it, by a rigid comb
    // over the last few seconds.
    const long span = std::min<long>(frame_ + 1, static_cast<long>(kHistory));
    for (long i = 0; i < span; ++i)
        recent_[static_cast<std::size_t>(i)] = History(i);
    const double toll = kLiveBeatToll * TypicalPeak(std::span<const float>(
                                            recent_.data(), static_cast<std::size_t>(span)));
    double bestScore = 0.0;
    bool any = false;
    for (double period : Candidates(acf_, hop_)) {
        const double score = Comb(period, toll);
        if (!any || score > bestScore) {
            bestScore = score;
            estimate.period = period;
            any = true;
        }
    }
    if (period_ > 0.0 && std::abs(estimate.period / period_ - 1.0) < kSameTempo) {
        period_ += 0.1 * (estimate.period - period_);
        agreeing_ = 0;
        candidate_ = 0.0;
        return;
    }
    if (candidate_ > 0.0 && std::abs(estimate.period / candidate_ - 1.0) < kSameTempo) {
        candidate_ += 0.3 * (estimate.period - candidate_);
        ++agreeing_;
    } else {
        candidate_ = estimate.period;
        agreeing_ = 1;
    }
    if (agreeing_ >= (period_ > 0.0 ? kSwitchEstimates : kLockEstimates)) {
        period_ = candidate_;
        nextBeat_ = -1.0;
        candidate_ = 0.0;
        agreeing_ = 0;
    }
}

void LiveBeatTracker::Frame(const OnsetFrame& frame, std::vector<LiveEvent>& out) {
    ++frame_;
    const bool active = frame.level >= OnsetCurve::FloorLevel();
    if (active)
        lastActive_ = frame_;
    const double meanStep = hop_ / kMeanSeconds;
    fluxMean_ += meanStep * (frame.flux - fluxMean_);
    const double onset = active ? std::max(0.0, frame.flux - fluxMean_) : 0.0;
    fluxDeviation_ += meanStep * 0.5 * (std::abs(frame.flux - fluxMean_) - fluxDeviation_);
    onsetMean_ += meanStep * 0.25 * (onset - onsetMean_);
    history_[static_cast<std::size_t>(frame_) % kHistory] = static_cast<float>(onset);

    // A causal peak: the previous frame rose above its neighbours, well
    // above the running level and within a tenth of the recent strong onsets
    // (the ripples of a decaying drum are no onsets, however quiet the rest).
    loudest_ = std::max(static_cast<double>(last_), loudest_ * peakDecay_);
    if (active && last_ > beforeLast_ && last_ >= onset && last_ > 2.0 * fluxDeviation_ &&
        last_ > kOnsetShare * loudest_ && frame_ - 1 - lastOnset_ >= 5) {
        lastOnset_ = frame_ - 1;
        out.push_back({LiveEvent::Kind::Onset, FrameTime(static_cast<double>(frame_))});
    }
    beforeLast_ = last_;
    last_ = static_cast<float>(onset);

    const double centred = onset - onsetMean_;
    for (std::size_t k = 0; k < acf_.size(); ++k)
        acf_[k] = static_cast<float>(decay_ * acf_[k] +
                                     centred * (History(static_cast<long>(k)) - onsetMean_));

    if (frame_ - lastActive_ > static_cast<long>(kQuietSeconds / hop_)) {
        period_ = 0.0;
        nextBeat_ = -1.0;
        candidate_ = 0.0;
        agreeing_ = 0;
        return;
    }
    if (frame_ % kTempoEvery == 0)
        UpdateTempo();
    if (period_ <= 0.0)
        return;
    if (frame_ % 2 == 0) {
        double predicted = static_cast<double>(frame_) - Phase(period_) + period_;
        if (nextBeat_ < 0.0) {
            nextBeat_ = predicted;
        } else {
            double error = predicted - nextBeat_;
            error -= period_ * std::round(error / period_);
            nextBeat_ += kPhaseGain * error;
        }
    }
    const double now = FrameTime(static_cast<double>(frame_));
    while (nextBeat_ >= 0.0 && FrameTime(nextBeat_) - kBeatDelaySeconds <= now) {
        const bool heard = frame_ - lastOnset_ <= static_cast<long>(kHeardBeats * period_);
        // A new phase or tempo may put a beat right after the last one given:
        // it is skipped rather than heard as a double beat.
        const bool spaced = lastBeat_ < 0.0 || nextBeat_ - lastBeat_ >= 0.6 * period_;
        if (heard && spaced) {
            out.push_back({LiveEvent::Kind::Beat, FrameTime(nextBeat_) - kBeatDelaySeconds});
            lastBeat_ = nextBeat_;
        }
        nextBeat_ += period_;
    }
}

}  // namespace chromola::beats
