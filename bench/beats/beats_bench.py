#!/usr/bin/python3
"""Accuracy of the beat analysis on a generated drum suite, against aubio.

Writes 8 patterns x 8 tempi (70..180 BPM) of synthesised drums with their
ground truth, each with 1 s of silence before and 3 s after, plus a silent
file and a file of noise under the floor; runs our analysis (bench_beats, file
and live) and aubio's command-line tools on every file in the same run; scores
them with mir_eval (F-measure at +-70 ms, CMLt, AMLt, first 5 s left out as
usual) and prints one table: pattern group x tracker, the files whose tempo is
within 4 %, the beats placed in silence, and our analysis' processor time.

  beats_bench.py BENCH_BEATS [WORKDIR]

BENCH_BEATS is the built bench_beats tool. aubio (Debian aubio-tools) runs
as a separate program; mir_eval and numpy come from Debian's python3 packages.
"""
import os
import subprocess
import sys
import tempfile
import warnings
import wave

import mir_eval
import numpy as np

RATE = 44100
TEMPI = [70, 85, 100, 115, 130, 145, 160, 180]
LEAD, TAIL, BARS_SECONDS = 1.0, 3.0, 30.0


def kick(rng):
    t = np.arange(int(0.25 * RATE)) / RATE
    freq = 50 + 70 * np.exp(-t / 0.03)
    return 0.9 * np.sin(2 * np.pi * np.cumsum(freq) / RATE) * np.exp(-t / 0.12)


def snare(rng):
    t = np.arange(int(0.2 * RATE)) / RATE
    body = 0.3 * np.sin(2 * np.pi * 185 * t) * np.exp(-t / 0.05)
    return 0.5 * (rng.standard_normal(t.size) * np.exp(-t / 0.07) * 0.6 + body)


def hat(rng):
    t = np.arange(int(0.06 * RATE)) / RATE
    noise = np.diff(rng.standard_normal(t.size + 1))
    return 0.12 * noise * np.exp(-t / 0.02)


# Each pattern: one bar of four beats, (instrument, position in beats,
# gain); 'sparse' drops a third of its snares at random.
PATTERNS = {
    'four': [('k', b, 1) for b in range(4)] + [('s', 1, 1), ('s', 3, 1)]
            + [('h', b / 2, 1) for b in range(8)],
    'breakbeat': [('k', 0, 1), ('k', 0.5, 0.8), ('k', 2.5, 1), ('k', 2.75, 0.7),
                  ('s', 1, 1), ('s', 3, 1), ('s', 3.75, 0.5)] + [('h', b / 2, 1) for b in range(8)],
    'syncopated': [('k', 0, 1), ('k', 0.75, 0.8), ('k', 1.5, 0.9), ('k', 2.5, 0.9), ('k', 3.25, 0.7),
                   ('s', 1, 1), ('s', 3, 1)] + [('h', b + 0.5, 1.3) for b in range(4)],
    'swing': [('k', 0, 1), ('k', 2, 1), ('s', 1, 1), ('s', 3, 1)]
             + [('h', b, 1) for b in range(4)] + [('h', b + 2 / 3, 0.7) for b in range(4)],
    'halftime': [('k', 0, 1), ('k', 1.5, 0.6), ('s', 2, 1)] + [('h', b, 2) for b in range(4)],
    'sparse': [('k', 0, 1)] + [('s', b, 0.7) for b in range(1, 4)],
    'noise': [('k', b, 1) for b in range(4)] + [('s', 1, 1), ('s', 3, 1)]
             + [('h', b / 2, 1) for b in range(8)],
    'ramp': [('k', 0, 1), ('k', 2, 1), ('s', 1, 1), ('s', 3, 1)] + [('h', b / 2, 1) for b in range(8)],
}


def beat_times(pattern, bpm):
    """Ground-truth beat times: steady, or for 'ramp' from 0.9 to 1.1 x bpm."""
    times, t = [], LEAD
    while t < LEAD + BARS_SECONDS - 1e-9:
        times.append(t)
        tempo = bpm
        if pattern == 'ramp':
            tempo = bpm * (0.9 + 0.2 * (t - LEAD) / BARS_SECONDS)
        t += 60.0 / tempo
    return np.array(times)


def render(pattern, bpm, seed):
    rng = np.random.default_rng(seed)
    beats = beat_times(pattern, bpm)
    total = int((LEAD + BARS_SECONDS + TAIL) * RATE)
    out = np.zeros(total + RATE)
    sounds = {'k': kick, 's': snare, 'h': hat}
    for i, start in enumerate(beats):
        period = (beats[i + 1] - start) if i + 1 < len(beats) else (start - beats[i - 1])
        bar_beat = i % 4
        for name, position, gain in PATTERNS[pattern]:
            if int(position) != bar_beat:
                continue
            if pattern == 'sparse' and name != 'k' and rng.random() < 0.35:
                continue
            at = int((start + (position - bar_beat) * period) * RATE)
            sound = sounds[name](rng) * gain * rng.uniform(0.85, 1.0)
            out[at:at + sound.size] += sound
    out = out[:total]
    if pattern == 'noise':
        end = int((LEAD + BARS_SECONDS) * RATE)
        noise = np.cumsum(rng.standard_normal(end)) * 0.02  # reddish
        noise -= np.convolve(noise, np.ones(256) / 256, mode='same')
        noise *= 0.25 / np.sqrt(np.mean(noise ** 2))
        out[int(LEAD * RATE):end] += noise[int(LEAD * RATE):]
    return out, beats


def write_wav(path, samples):
    data = np.clip(samples, -1, 1)
    with wave.open(path, 'wb') as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes((data * 32767).astype('<i2').tobytes())


def run(cmd):
    return subprocess.run(cmd, capture_output=True, text=True, check=True)


def ours(tool, mode, path):
    r = run([tool, mode, path])
    beats = np.array([float(x) for x in r.stdout.split()])
    fields = r.stderr.split()
    stats = dict(zip(fields[0::2], map(float, fields[1::2])))
    return beats, stats


AUBIO_CACHE = os.environ.get('BEATS_BENCH_AUBIO_CACHE')  # while tuning ours only


def aubio_output(command, path):
    cached = f'{path}.aubio-{command}' if AUBIO_CACHE else None
    if cached and os.path.exists(cached):
        with open(cached) as f:
            return f.read()
    out = run(['aubio', command, path]).stdout
    if cached:
        with open(cached, 'w') as f:
            f.write(out)
    return out


def aubio_beats(path):
    return np.array([float(x) for x in aubio_output('beat', path).split()])


def aubio_tempo(path):
    words = aubio_output('tempo', path).split()
    return float(words[0]) if words else 0.0


def scores(ref, est):
    ref = mir_eval.beat.trim_beats(ref)
    est = mir_eval.beat.trim_beats(np.sort(est))
    f = mir_eval.beat.f_measure(ref, est)
    _, cmlt, _, amlt = mir_eval.beat.continuity(ref, est)
    return f, cmlt, amlt


def in_silence(est, music_end):
    return int(np.sum(est < LEAD - 0.1) + np.sum(est > music_end + 0.5))


def main():
    warnings.filterwarnings('ignore', module='mir_eval')
    tool = os.path.abspath(sys.argv[1])
    work = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix='beats-bench-')
    os.makedirs(work, exist_ok=True)
    trackers = ['ours-file', 'ours-live', 'aubio']
    rows = {}
    tempo_ok = {'ours-file': 0, 'ours-live': 0, 'aubio': 0}
    silence = {t: 0 for t in trackers}
    cpu = {'file': 0.0, 'live': 0.0}
    audio = 0.0
    misses = []
    for p_index, pattern in enumerate(PATTERNS):
        for bpm in TEMPI:
            path = os.path.join(work, f'{pattern}-{bpm}.wav')
            samples, ref = render(pattern, bpm, seed=1000 * p_index + bpm)
            write_wav(path, samples)
            truth_bpm = 60.0 / np.median(np.diff(ref))
            music_end = ref[-1] + 60.0 / bpm
            f_beats, f_stats = ours(tool, 'file', path)
            l_beats, l_stats = ours(tool, 'live', path)
            a_beats = aubio_beats(path)
            a_bpm = aubio_tempo(path)
            cpu['file'] += f_stats['cpu']
            cpu['live'] += l_stats['cpu']
            audio += f_stats['audio']
            for name, est, est_bpm in (('ours-file', f_beats, f_stats['bpm']),
                                       ('ours-live', l_beats, l_stats['bpm']),
                                       ('aubio', a_beats, a_bpm)):
                s = scores(ref, est)
                rows.setdefault((pattern, name), []).append(s)
                ok = abs(est_bpm / truth_bpm - 1) <= 0.04 if est_bpm > 0 else False
                tempo_ok[name] += ok
                silence[name] += in_silence(est, music_end)
                if name == 'ours-file' and (s[0] < 0.95 or not ok):
                    misses.append(f'{pattern}-{bpm}: F {s[0]:.2f} bpm {est_bpm:.1f} (truth {truth_bpm:.1f})')
    # Silence and noise under the floor: every beat there is a fault.
    rng = np.random.default_rng(7)
    quiet = {'silence': np.zeros(20 * RATE), 'quiet-noise': rng.standard_normal(20 * RATE) * 10 ** (-72 / 20)}
    for name, samples in quiet.items():
        path = os.path.join(work, f'{name}.wav')
        write_wav(path, samples)
        silence['ours-file'] += len(ours(tool, 'file', path)[0])
        silence['ours-live'] += len(ours(tool, 'live', path)[0])
        silence['aubio'] += len(aubio_beats(path))

    header = f'{"group":<11}' + ''.join(f'| {t:^20} ' for t in trackers)
    print(header)
    print(f'{"":<11}' + ''.join(f'| {"F    CMLt  AMLt":^20} ' for _ in trackers))
    print('-' * len(header))
    totals = {t: [] for t in trackers}
    for pattern in PATTERNS:
        line = f'{pattern:<11}'
        for t in trackers:
            m = np.mean(rows[(pattern, t)], axis=0)
            totals[t].extend(rows[(pattern, t)])
            line += f'| {m[0]:.3f} {m[1]:.3f} {m[2]:.3f}  '
        print(line)
    print('-' * len(header))
    line = f'{"all":<11}'
    for t in trackers:
        m = np.mean(totals[t], axis=0)
        line += f'| {m[0]:.3f} {m[1]:.3f} {m[2]:.3f}  '
    print(line)
    n = len(PATTERNS) * len(TEMPI)
    print(f'files with F >= 0.95: ' + ', '.join(
        f'{t} {sum(1 for s in totals[t] if s[0] >= 0.95)}/{n}' for t in trackers))
    print('tempo within 4 %: ' + ', '.join(f'{t} {tempo_ok[t]}/{n}' for t in trackers))
    print('beats in silence: ' + ', '.join(f'{t} {silence[t]}' for t in trackers))
    minutes = audio / 60.0
    print(f'our processor time: file {cpu["file"] / minutes * 1000:.1f} ms, '
          f'live {cpu["live"] / minutes * 1000:.1f} ms per minute of 44.1 kHz audio '
          f'(live: {cpu["live"] / audio * 100:.3f} % of one core)')
    if misses:
        print('our file analysis below goal on: ' + '; '.join(misses))


if __name__ == '__main__':
    main()
