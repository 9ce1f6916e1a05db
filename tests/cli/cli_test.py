#!/usr/bin/env python3
"""smftempo as a user runs it: cli_test.py SMFTEMPO WORKDIR CORPUS CASE; 77 when the case
cannot run here. Files are written with the standard library and read back with mido, an
independent reader."""

import bisect
import csv
import errno
import itertools
import json
import locale
import os
import random
import re
import struct
import subprocess
import sys
from fractions import Fraction

INVALID = "有効な SMF ではありません。"
UNSUPPORTED = "対応していない SMF 形式です。"
TEMPO_MAP = ("テンポマップ (複数のテンポイベント、または tick 0 より後のテンポイベント) のある SMF は、"
             "--tempo-map flatten または --tempo-map scale で変換できます。")
REPAIRABLE = "--repair を指定すると、次の修復をして読み込める可能性があります: "
EOT = b"\xff\x2f\x00"
failures = []
try:
    import mido
except ImportError:
    mido = None


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


def run(*args):  # in the locale the test runs in (CMake sets ja_JP.UTF-8)
    done = subprocess.run([SMFTEMPO, *args], capture_output=True, timeout=60)  # a hang fails
    return done.returncode, done.stdout.decode(), done.stderr.decode()


def write(name, data):
    path = os.path.join(WORK, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def varlen(value, more=0):
    return (varlen(value >> 7, 0x80) if value > 0x7F else b"") + bytes([value & 0x7F | more])


def tempo_event(us):
    return b"\xff\x51\x03" + us.to_bytes(3, "big")


def smf(fmt, division, tracks):
    """Tracks of (absolute tick, event bytes as written)."""
    out = b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division)
    for track in tracks:
        body = b"".join(varlen(t - p) + d for (p, _), (t, d) in zip([(0, b"")] + track, track))
        out += b"MTrk" + struct.pack(">I", len(body)) + body
    return out


def generate(seed, tracks, events, tempo=None, tempo_track=0, division=480, changes=0):
    """Format 1, `events` + 1 per track: running status, sysex, meta, shared ticks, long gaps;
    with `changes`, that many more tempo events at odd ticks of random tracks."""
    rng, out = random.Random(seed), []
    for t in range(tracks):
        track, now, running = [(0, tempo_event(tempo))] if tempo and t == tempo_track else [], 0, 0
        for _ in range(events):
            r = rng.random()
            now += 0 if r < 0.35 else rng.randrange(1, 240) if r < 0.97 else rng.randrange(1 << 21)
            if rng.random() < changes / tracks / events:  # on an event's tick, or an odd one
                now += rng.choice((0, 1, 7))
                track.append((now, tempo_event(rng.choice((rng.randrange(150000, 2000000), 12345)))))
                running = 0
            data = bytes(rng.randrange(128) for _ in range(rng.randrange(1, 30)))
            if rng.random() < 0.7:
                status = rng.choice((0x80, 0x90, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0)) | t % 16
                event = bytes([status]) + (data * 2)[:1 if 0xC0 <= status < 0xE0 else 2]
                track.append((now, event[status == running and rng.random() < 0.7:]))
                running = status
            else:
                track.append((now, rng.choice((b"\xf0" + varlen(len(data) + 1) + data + b"\xf7",
                                               b"\xf7" + varlen(len(data)) + data,
                                               b"\xff\x01" + varlen(len(data)) + data))))
                running = 0
        out.append(track + [(now + rng.randrange(500), EOT)])
    return smf(1, division, out)


def check_conversion(source, output, bpm):
    """One track: the source's messages merged by time (ties in track order), the tempo
    rewritten or added at the front, each within half a tick of its time in seconds, the
    end of track last at the latest end."""
    what, new = "%s at %s" % (output, bpm), int(60000000 / bpm)
    src, out = mido.MidiFile(source), mido.MidiFile(output)
    if not check((out.type, out.ticks_per_beat, len(out.tracks)) == (0, src.ticks_per_beat, 1),
                 what + ": header"):
        return
    check([m.tempo for m in out.tracks[0] if m.type == "set_tempo"] == [new], what + ": tempo")
    old = next((m.tempo for t in src.tracks for m in t if m.type == "set_tempo"), 500000)

    def timed(track, tempo):  # (seconds, message), every tempo event alike, no end of track
        ticks = itertools.accumulate(m.time for m in track)
        return [(mido.tick2second(t, src.ticks_per_beat, tempo),
                 m.copy(time=0, tempo=1) if m.type == "set_tempo" else m.copy(time=0))
                for t, m in zip(ticks, track) if m.type != "end_of_track"]

    want, got = timed(mido.merge_tracks(src.tracks), old), timed(out.tracks[0], new)
    if not any(m.type == "set_tempo" for _, m in want):
        want.insert(0, (0.0, mido.MetaMessage("set_tempo", tempo=1)))
    check([m for _, m in got] == [m for _, m in want], what + ": messages")
    half_tick = mido.tick2second(0.5, src.ticks_per_beat, new) * (1 + 1e-9)
    late = [(s, w, m) for (s, m), (w, _) in zip(got, want) if abs(s - w) > half_tick]
    check(not late, what + ": %d messages moved, first %r" % (len(late), late[:1]))
    end = max(mido.tick2second(sum(m.time for m in t), src.ticks_per_beat, old)
              for t in src.tracks)
    last = out.tracks[0][-1]
    check(last.type == "end_of_track" and abs(
        mido.tick2second(sum(m.time for m in out.tracks[0]), src.ticks_per_beat, new) - end)
        <= half_tick, what + ": end of track")


def ticked(path):
    """The tracks merged: (tick, message text), the end of track left out."""
    track = mido.merge_tracks(mido.MidiFile(path).tracks)
    return [(t, str(m.copy(time=0))) for t, m in zip(itertools.accumulate(m.time for m in track),
                                                     track) if m.type != "end_of_track"]


def timed(path):
    """The file's tracks as [(exact seconds, tick, message)], timed through the tempo map of
    all its tracks in merged order (500000 us until the first tempo event), and that map."""
    mid = mido.MidiFile(path)
    ticks = [list(zip(itertools.accumulate(m.time for m in t), t)) for t in mid.tracks]
    merged = sorted((t, k, i, m) for k, track in enumerate(ticks) for i, (t, m) in enumerate(track))
    changes = [(t, m.tempo) for t, _, _, m in merged if m.type == "set_tempo"]
    starts, time, start, tempo = [], Fraction(0), 0, 500000
    for at, value in changes:
        time += (at - start) * tempo
        starts.append((at, time, value))
        start, tempo = at, value

    def seconds(tick):
        i = bisect.bisect_right(starts, (tick, float("inf"))) - 1
        at, base, value = starts[i] if i >= 0 else (0, Fraction(0), 500000)
        return (base + (tick - at) * value) / (mid.ticks_per_beat * 10**6)

    return mid, [[(seconds(t), t, m) for t, m in track] for track in ticks], changes


def merged(tracks):
    """One track as the merge makes it: by tick, then track; one end of track, the latest."""
    events = sorted((t, k, i, s, m) for k, track in enumerate(tracks) for i, (s, t, m) in enumerate(track))
    end = [e for e in events if e[4].type == "end_of_track"][-1]
    return [(s, t, m) for t, _, _, s, m in events if m.type != "end_of_track"] + [end[3:4] + end[:1] + end[4:]]


def check_mapped(source, output, mode, tempo, division, keep, report):
    """Every event of the source in the output, in order, bytes kept (tempo values aside),
    within half an output tick of its time in seconds; the tempo map flattened or scaled;
    the report's largest error the one measured here."""
    what = "%s (%s)" % (output, mode)
    src, src_tracks, src_changes = timed(source)
    out, out_tracks, out_changes = timed(output)
    start = src_changes[0][1] if src_changes and src_changes[0][0] == 0 else 500000
    tempo = tempo or start
    if not keep or src.type == 0:
        src_tracks = [merged(src_tracks)]
    if not check(len(out_tracks) == len(src_tracks) and out.ticks_per_beat == division and
                 out.type == (1 if keep and src.type == 1 else 0), what + ": layout"):
        return
    added = not src_changes or src_changes[0][0] != 0  # a tempo event at the front
    if added:
        check(out_tracks[0][0][1:] == (0, mido.MetaMessage("set_tempo", tempo=tempo)), what)
        out_tracks[0] = out_tracks[0][1:]
    scaled = lambda value: (2 * value * tempo + start) // (2 * start)
    if mode == "flatten":
        check([v for _, v in out_changes] == [tempo], what + ": one tempo")
        src_tracks = [[e for e in t if e[2].type != "set_tempo"] for t in src_tracks]
        out_tracks = [[e for e in t if e[2].type != "set_tempo"] for t in out_tracks]
    largest = 0
    for src_track, out_track in zip(src_tracks, out_tracks):
        same = lambda m: m.copy(time=0, tempo=1) if m.type == "set_tempo" else m.copy(time=0)
        if not check([same(m) for *_, m in out_track] == [same(m) for *_, m in src_track],
                     what + ": messages"):
            return
        for (s, _, source), (o, t, m) in zip(src_track, out_track):
            # Half a tick: of the longest tempo in effect up to the tick, where tempo
            # events closer than a tick in the output all land on it.
            tick = max([v for at, v in out_changes if at == t] +
                       ([v for at, v in out_changes if at < t] or [500000])[-1:])
            check(abs(o - s) <= Fraction(tick, 2 * out.ticks_per_beat * 10**6),
                  "%s: %r at tick %d off by %s s" % (what, m, t, float(o - s)))
            check(m.type != "set_tempo" or m.tempo == scaled(source.tempo), "%s: %r" % (what, m))
            largest = max(largest, abs(o - s))
    check(abs(report["timing"]["largest_error_us"] - float(largest) * 1e6) < 1e-3,
          "%s: largest error %r, measured %r" % (what, report["timing"], float(largest) * 1e6))
    check(all(abs(report[k]["seconds"] - max(t[-1][0] for t in tracks)) < 1e-9
              for k, tracks in (("source", src_tracks), ("output", out_tracks))),
          "%s: durations %r" % (what, report))


def case_help():
    for flag, pattern in (("--help", "usage: smftempo .*"), ("-h", "usage: smftempo .*"),
                          ("--version", r"smftempo \d+\.\d+\.\d+\n")):
        code, out, err = run(flag)
        check(code == 0 and re.fullmatch(pattern, out, re.S) and not err, "%s: %r" % (flag, out))


def case_usage():
    src, out, bpm = write("in.mid", generate(1, 2, 20)), os.path.join(WORK, "out.mid"), "--bpm: "
    for why, args, message in [
            ("no input", [], "no input file"),
            ("both outputs", ["--bpm", "9", "-o", out, "--out-dir", WORK, src], "give either -o"),
            ("no BPM", ["-o", out, src], "--bpm is required"),
            ("--info with --bpm", ["--info", "--bpm", "90", src], "--info takes no"),
            ("empty BPM", ["--bpm", "", "-o", out, src], bpm + "変換後のテンポを指定してください。"),
            ("BPM a word", ["--bpm", "abc", "-o", out, src], bpm + "変換後のテンポが小さすぎます。"),
            ("BPM too fast", ["--bpm", "6.1e7", "-o", out, src], bpm + "変換後のテンポが範囲外です。"),
            ("division too fine", ["--division", "32768", "-o", out, src], "--division: Value 32768"),
            ("--exact chooses the division", ["--bpm", "9", "--exact", "--division", "9", "-o", out,
                                              src], "--exact chooses the division itself")]:
        code, stdout, stderr = run(*args)
        check(code == 2 and "smftempo: " + message in stderr and not stdout
              and not os.path.exists(out), "%s: %d %r" % (why, code, stderr))


def case_convert():
    for why, seed, tracks, tempo, tempo_track, division, text, bpm in [
            ("tempo in the third track, slower", 1, 5, 600000, 2, 480, "61.5", 61.5),
            ("no tempo event: one is added", 2, 3, None, 0, 480, "240", 240.0),
            ("slowest tempo, 16777215 us", 3, 2, 500000, 0, 480, "3.5762787", 3.5762787),
            ("16 tracks; the dialog's grammar: exponent d, the rest ignored",
             5, 16, 1000000, 15, 96, "12.5d1x", 125.0)]:
        src = write("in%d.mid" % seed, generate(seed, tracks, 400, tempo, tempo_track, division))
        out = os.path.join(WORK, "out%d.mid" % seed)
        code, stdout, stderr = run("--bpm", text, "-o", out, src)
        if check(code == 0 and not stdout and not stderr, "%s: %d %r" % (why, code, stderr)):
            check_conversion(src, out, bpm)

    # An existing output is kept, and replaced only with --force.
    src, out = os.path.join(WORK, "in1.mid"), write("old.mid", b"old")
    code, _, stderr = run("--bpm", "90", "-o", out, src)
    check(code == 1 and open(out, "rb").read() == b"old" and stderr == "smftempo: %s: %s\n"
          % (out, "出力ファイルが既に存在します。置き換えるには --force を指定してください。"),
          "existing output without --force: %d %r" % (code, stderr))
    check(run("--force", "--bpm", "90", "-o", out, src)[0] == 0, "--force")
    check_conversion(src, out, 90.0)

    # Refusals leave nothing behind, not even a temporary file.
    late = [[(0, b"\x90\x3c\x40"), (10, EOT)], [(100, tempo_event(400000)), (100, EOT)]]
    far = [[(0, tempo_event(16777215)), (1 << 21, b"\x90\x3c\x40"), (1 << 21, EOT)]]
    # 65533 chunks and two tracks announced, a third track read by --repair: one too many to count.
    crowded = b"MThd" + struct.pack(">IHHH", 6, 1, 65535, 480) + b"Junk\0\0\0\0" * 65533 + \
        smf(0, 480, [[(0, EOT)]] * 3)[14:]
    wrapped = [[(k * 0x0FFFFFFF, b"\x90\x3c\x40" if k < 17 else EOT) for k in range(18)]]
    for i, (why, data, args, messages) in enumerate([
            ("tempo change after the start", smf(1, 480, late), ["120"], [UNSUPPORTED, TEMPO_MAP]),
            *(("%s: --tempo-map no help" % why, data, ["120"], [UNSUPPORTED]) for why, data in [
                ("format 2", smf(2, 480, late)), ("SMPTE", smf(1, 0xE728, late)),
                ("division 0", smf(1, 0, late)), ("times past 2^32", smf(1, 480, late + wrapped)),
                ("a tempo of 0", smf(0, 480, [[(0, tempo_event(0)), (0, EOT)]]))]),
            ("and with --keep-tracks", smf(1, 480, late), ["120", "--keep-tracks"],
             [UNSUPPORTED, TEMPO_MAP]),
            ("times beyond 32 bits", smf(0, 480, far), ["60000000"],
             ["変換後のイベント時刻が SMF で表せる範囲を超えるため、保存できません。"]),
            ("tracks and kept chunks past 65535", crowded,
             ["120", "--repair", "--keep-tracks", "--keep-chunks"],
             ["repaired: the header announces 65535 chunks; the file's 3 track chunks read",
              "変換後の SMF のトラックとチャンクが合わせて 65535 個を超え、ヘッダーに数えられないため、"
              "保存できません。"])]):
        src = write("refused/in%d.mid" % i, data)
        code, _, stderr = run("--bpm", *args, "-o", os.path.join(WORK, "refused/out.mid"), src)
        check(code == 1 and stderr == "".join("smftempo: %s: %s\n" % (src, m) for m in messages),
              why + ": " + stderr)
    # A FIFO (whose plain open would wait for a writer for ever) and a device: refused at once.
    os.mkfifo(fifo := os.path.join(WORK, "refused/fifo.mid"))
    for src in (fifo, "/dev/null"):
        code, _, stderr = run("--bpm", "120", "-o", os.path.join(WORK, "refused/out.mid"), src)
        check(code == 1 and stderr == "smftempo: %s: 通常のファイルではありません。\n" % src,
              "%s: %d %r" % (src, code, stderr))
    check(sorted(os.listdir(os.path.join(WORK, "refused"))) ==
          ["fifo.mid"] + ["in%d.mid" % i for i in range(i + 1)], "leftovers")


def case_batch():
    good = [write(name, generate(seed, 3, 200, 500000 + seed))
            for seed, name in ((1, "a.mid"), (2, "sub/b.mid"), (3, "c.mid"))]
    bad, missing = write("bad.mid", smf(2, 480, [[(0, EOT)]])), os.path.join(WORK, "missing.mid")
    os.makedirs(outdir := os.path.join(WORK, "out"))
    code, _, stderr = run("--bpm", "90", "--out-dir", outdir, *good[:2], bad, missing, good[2])
    check(code == 1 and stderr == "smftempo: %s: %s\nsmftempo: %s: %s\nsmftempo: 変換 3 件、拒否 1 件、"
          "失敗 1 件\n" % (bad, UNSUPPORTED, missing, os.strerror(errno.ENOENT)),
          "batch going on past failures: %d %r" % (code, stderr))
    check(sorted(os.listdir(outdir)) == ["a.mid", "b.mid", "c.mid"], "batch outputs")
    check(run("--force", "--bpm", "45", "--out-dir", outdir + "/", *good)[0] == 0, "batch --force")
    for src in good:
        check_conversion(src, os.path.join(outdir, os.path.basename(src)), 45.0)
    # --force replaces what was there, never what this run wrote: of two inputs with one
    # name, the later is refused (the output named through another spelling of the folder).
    twin = write("sub/a.mid", generate(4, 2, 50, 400000))
    code, _, stderr = run("--force", "--bpm", "60", "--out-dir", outdir, good[0], twin, good[2])
    check(code == 1 and stderr == "smftempo: %s: 出力ファイル %s は、この実行で先に別の入力から"
          "書き込んだファイルです。置き換えずに、この入力は変換しません。\nsmftempo: 変換 2 件、拒否 1 件、"
          "失敗 0 件\n" % (twin, outdir + "/a.mid"),
          "same name twice: %d %r" % (code, stderr))
    check_conversion(good[0], os.path.join(outdir, "a.mid"), 60.0)
    check_conversion(good[2], os.path.join(outdir, "c.mid"), 60.0)


def case_tempo_map():
    """One table over the modes: generated tempo maps (many tempo events, at odd ticks, in
    several tracks, none at tick 0), division changes both ways, tracks kept; then the corpus
    files that convert. Ticks come out within half a tick in seconds (mido reads them)."""
    files = {"map at 0": (11, 3, 300, 600000, 0, 480, 40), "none at 0": (12, 4, 300, None, 0, 96, 25),
             "spread": (13, 5, 200, 400000, 3, 480, 60), "one tempo": (14, 3, 300, 700000, 1, 480, 0)}
    rows = [("map at 0", "--bpm 100 --tempo-map flatten"),
            ("none at 0", "--bpm 90 --tempo-map scale --division 24"),
            ("spread", "--bpm 133.3 --tempo-map flatten --division 1920 --keep-tracks"),
            ("spread", "--bpm 61 --tempo-map scale --keep-tracks"),
            ("spread", "--bpm 61 --tempo-map scale"),
            ("one tempo", "--division 1000"), ("one tempo", "--bpm 97.3"),
            ("none at 0", "--tempo-map scale --division 960")]
    paths = {name: write(name + ".mid", generate(*args[:6], changes=args[6]))
             for name, args in files.items()}
    if os.path.isdir(CORPUS):
        with open(os.path.join(CORPUS, "SOURCES.tsv"), encoding="utf-8") as f:
            for row in csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE):
                if row["expected"].startswith("convert"):
                    paths[row["file"]] = os.path.join(CORPUS, row["file"])
                    rows += [(row["file"], "--bpm 97 --tempo-map flatten --division 77"),
                             (row["file"], "--bpm 97 --tempo-map scale --keep-tracks")]
    for i, (name, args) in enumerate(rows):
        out, args = os.path.join(WORK, "map%d.mid" % i), args.split()
        code, stdout, stderr = run(*args, "--json", "-o", out, paths[name])
        notes = [line for line in stderr.splitlines() if ": note: " not in line]  # extra bytes
        if not check(code == 0 and not notes, "%s %s: %d %r" % (name, args, code, stderr)):
            continue
        value = lambda flag, default: args[args.index(flag) + 1] if flag in args else default
        bpm = value("--bpm", None)
        check_mapped(paths[name], out, value("--tempo-map", "refuse"),
                     int(60000000 / float(bpm)) if bpm else None,
                     int(value("--division", mido.MidiFile(paths[name]).ticks_per_beat)),
                     "--keep-tracks" in args, json.loads(stdout))
    # An event lands on the same tick whether the tracks are merged or kept.
    check(sorted(ticked(os.path.join(WORK, "map3.mid"))) ==
          sorted(ticked(os.path.join(WORK, "map4.mid"))), "tracks kept or merged: the same ticks")
    # On one tempo at tick 0, every mode gives the plain conversion's bytes.
    plain = os.path.join(WORK, "plain.mid")
    run("--bpm", "97.3", "-o", plain, paths["one tempo"])
    for mode in ("flatten", "scale"):
        out = os.path.join(WORK, mode + ".mid")
        run("--bpm", "97.3", "--tempo-map", mode, "-o", out, paths["one tempo"])
        check(open(out, "rb").read() == open(plain, "rb").read(), mode + ": the plain bytes")


def case_exact():
    """--exact keeps every tick and changes the division, or names the nearest exact BPMs,
    which are exact themselves."""
    src = write("in.mid", generate(21, 2, 100, 500000, 0, 480))
    mapped = write("map.mid", smf(1, 480, [[(0, tempo_event(500000)), (960, tempo_event(250000)),
                                            (1000, b"\x90\x3c\x40"), (1000, EOT)]]))
    for why, path, args, division in [
            ("100 BPM: division 576", src, ["--bpm", "100"], 576),
            ("a map scaled", mapped, ["--bpm", "100", "--tempo-map", "scale"], 576),
            ("97 BPM: none", src, ["--bpm", "97"], None),
            ("a map flattened", mapped, ["--bpm", "100", "--tempo-map", "flatten"], None)]:
        out = os.path.join(WORK, "out.mid")
        code, _, stderr = run("--exact", "--force", *args, "-o", out, path)
        if division:
            untimed = lambda path: [(t, m) for t, m in ticked(path) if "set_tempo" not in m]
            check(code == 0 and mido.MidiFile(out).ticks_per_beat == division and
                  untimed(out) == untimed(path), "%s: %d %r" % (why, code, stderr))
            continue
        check(code == 1 and stderr.startswith("smftempo: %s: " % path), "%s: %r" % (why, stderr))
        suggested = re.findall(r"遅い側 ([0-9.]+)、速い側 ([0-9.]+)", stderr)
        if path == src and check(suggested, why + ": suggestions"):
            for bpm in suggested[0]:  # tempos 618750 and 615625, as short as they come
                check(run("--exact", "--force", "--bpm", bpm, "-o", out, src)[0] == 0, bpm)
            check(suggested[0] == ("96.9696", "97.4619"), "%r" % (suggested,))


def case_report():
    """--dry-run writes nothing; --json gives one object per file and line, refusals too;
    --report says what --min-note did."""
    on, off = lambda key: b"\x90" + bytes([key, 64]), lambda key: b"\x80" + bytes([key, 64])
    notes = write("notes.mid", smf(0, 480, [[(0, on(60)), (3, off(60)), (5, on(60)), (6, off(60)),
                                             (100, on(62)), (101, off(62)), (400, EOT)]]))
    bad, outdir = write("bad.mid", b"MThd"), os.path.join(WORK, "out")
    mendable = write("mendable.mid", smf(0, 96, [[(0, b"\x90\x3c\x40")]]))  # no end of track
    args = ("--division", "48", "--min-note", "2")
    code, stdout, stderr = run("--dry-run", "--json", *args, "--out-dir", outdir, notes, mendable,
                               bad)
    lines = [json.loads(line) for line in stdout.splitlines()]
    check(code == 1 and not os.path.exists(outdir) and [r["status"] for r in lines] ==
          ["converted", "refused", "refused"] and [(r["message"], r.get("hint")) for r in lines[1:]]
          == [(INVALID, REPAIRABLE + "end-of-track-added"), (INVALID, None)] and
          lines[0]["notes"] == {"zero_length_created": 3, "lengthened": 3}, "dry run: %r" % stdout)
    code, stdout, _ = run("--report", *args, "-o", os.path.join(WORK, "notes-out.mid"), notes)
    check(code == 0 and "3 made zero ticks long, 3 lengthened" in stdout, "report: " + stdout)


def case_info():
    # The BPM as the dialog shows it: 10 significant digits, trailing zeros cut, ".0" kept.
    rows = [(None, 4, "120.0"), (16777215, 1, "3.5762789"), (1, 3, "60000000.0"),
            (8571428, 2, "7.000000467")]
    paths = [write("i%d.mid" % i, generate(i, n, 30, t, n - 1)) for i, (t, n, _) in enumerate(rows)]
    bad = write("bad.mid", b"MThd")
    code, stdout, stderr = run("--info", paths[0], bad, *paths[1:])
    check(code == 1 and [line for line in stdout.splitlines() if not line.startswith(" ")] == [
        "%s: %s BPM, format 1, division 480, %d track%s, %d events" % (
            path, text, n, "s" * (n > 1), n * 31 + (tempo is not None))
        for path, (tempo, n, text) in zip(paths, rows)], "--info lines:\n" + stdout)
    check(stderr == "smftempo: %s: %s\n" % (bad, INVALID), "--info message: %r" % stderr)
    # A tempo map: every change, the duration, and that only --tempo-map converts it.
    mapped = write("map.mid", smf(1, 96, [[(0, b"\x90\x3c\x40"), (192, EOT)],
                                          [(96, tempo_event(1000000)), (96, EOT)]]))
    code, stdout, _ = run("--info", mapped)
    check(code == 0 and stdout.splitlines()[1:] == [
        "  tempo at tick 96: 60.0 BPM (1000000 us, track 1)", "  duration: 1.500000 s",
        "  plain conversion: refuses it (tempo changes: see --tempo-map)"], "map: " + stdout)
    code, stdout, _ = run("--info", "--json", mapped)
    check(code == 0 and json.loads(stdout)["tempo_map"] == [
        {"tick": 96, "tempo": 1000000, "bpm": 60.0, "track": 1}], "--info --json: " + stdout)


def chunks(data, at, little=False):
    """The chunks from `at` to the end as (id, data); RIFF's are little-endian and padded."""
    out = []
    while at < len(data):
        size = struct.unpack("<I" if little else ">I", data[at + 4:at + 8])[0]
        out.append((data[at:at + 4], data[at + 8:at + 8 + size]))
        at += 8 + size + (size % 2 if little else 0)
    return out


def riff(parts):
    body = b"".join(i + struct.pack("<I", len(d)) + d + b"\0" * (len(d) % 2) for i, d in parts)
    return b"RIFF" + struct.pack("<I", len(body) + 4) + b"RMID" + body


def smf_bytes(fmt, division, parts, extra=b"", count=None):
    return b"MThd" + struct.pack(">IHHH", 6 + len(extra), fmt, len(parts) if count is None else
                                 count, division) + extra + b"".join(
        i + struct.pack(">I", len(d)) + d for i, d in parts)


def layout(data):
    """A file's RIFF chunks (None for a plain SMF), its SMF's header extra bytes and chunks,
    and the SMF with a 6-byte header and its track chunks alone, as mido reads it (Debian's
    mido refuses other chunks before a track chunk)."""
    parts = chunks(data, 12, True) if data[:4] == b"RIFF" else None
    data = [d for i, d in parts if i == b"data"][0] if parts else data
    length, fmt, _, division = struct.unpack(">IHHH", data[4:14])
    inner = chunks(data, 8 + length)
    return parts, data[14:8 + length], inner, smf_bytes(fmt, division, [
        c for c in inner if c[0] == b"MTrk"])


def told(chunk_id):  # as the messages and reports name a chunk
    return "".join(chr(b) if 32 <= b < 127 else "\\x%02X" % b for b in chunk_id)


def case_layout():
    """What a file holds besides its events: --keep-chunks keeps the chunks that are not tracks
    and the header's extra bytes in their places; without it they go as the dialogs drop them,
    told, and the SMF is the dialogs'; an RMID file gives an RMID file, its other RIFF chunks
    kept. Sizes and pads as RIFF has them; the events through mido, within half a tick."""
    t = chunks(generate(31, 3, 150, 500000), 14)
    source = smf_bytes(1, 480, [(b"Junk", b"\1\2\3"), t[0], t[1], (b"X \x7f\x1f", b""), t[2],
                                (b"XFIH", b"\t" * 5), (b"XFKM", b"\n" * 6)], b"\xab\xcd", 5)
    info = b"INFO" + b"INAM\4\0\0\0Song" + b"ICMT\7\0\0\0comment\0"
    inner = chunks(generate(32, 2, 40, 600000, 1, 96), 14)
    inner = smf_bytes(1, 96, inner + [(b"XFIH", b"x" * (2 - sum(len(d) for _, d in inner) % 2))])
    rmid = riff([(b"LIST", info), (b"data", inner), (b"DISP", b"\1\0\0\0x")])  # SMF, DISP odd
    paths = {"chunked": write("chunked.mid", source), "rmid": write("song.rmi", rmid)}
    rows = [("tracks and chunks kept", "chunked", "--bpm 90 --keep-tracks --keep-chunks", []),
            ("and back", "tracks and chunks kept", "--bpm 120 --keep-tracks --keep-chunks", []),
            ("the defaults: the dialog's bytes, what they drop told", "chunked", "--bpm 90",
             ["4 chunks that are not tracks (Junk, X \\x7F\\x1F, XFIH, XFKM) are not written; "
              "--keep-chunks keeps them",
              "the header chunk's extra bytes (2) are not written; --keep-chunks keeps them"]),
            ("RMID again, its SMF's chunks dropped", "rmid", "--bpm 75",
             ["1 chunk that is not a track (XFIH) is not written; --keep-chunks keeps it"]),
            ("RMID again, its SMF's chunks kept", "rmid", "--bpm 75 --keep-chunks", [])]
    for n, (why, name, args, notes) in enumerate(rows):
        src, out, args = paths[name], os.path.join(WORK, "out%d.mid" % n), args.split()
        code, stdout, stderr = run(*args, "--json", "-o", out, src)
        if not check(code == 0 and stderr == "".join("smftempo: %s: note: %s\n" % (src, m)
                                                     for m in notes), "%s: %r" % (why, stderr)):
            continue
        paths[why], report = out, json.loads(stdout)
        (s_riff, s_extra, s_parts, s_smf), (o_riff, o_extra, o_parts, o_smf) = (
            layout(open(path, "rb").read()) for path in (src, out))
        keep, merge = "--keep-chunks" in args, "--keep-tracks" not in args
        shape = lambda parts, body: parts and [(i, None if i == body else d) for i, d in parts]
        want = shape(s_parts, b"MTrk")
        if merge:  # those before the first track stay before the merged track, the rest follow
            first = want.index((b"MTrk", None))
            want = want[:first + 1] + [c for c in want[first + 1:] if c[0] != b"MTrk"]
        check(shape(o_parts, b"MTrk") == [c for c in want if keep or c[0] == b"MTrk"] and
              o_extra == (s_extra if keep else b"") and shape(o_riff, b"data") == shape(
                  s_riff, b"data") and (not o_riff or riff(o_riff) == open(out, "rb").read()),
              "%s: layout %r %r %r" % (why, o_riff, o_extra, o_parts))
        ids = [told(i) for i, _ in want if i != b"MTrk"]
        check([([c["id"] for c in report[k]["chunks"]], report[k]["header_extra_bytes"],
                report[k]["container"]) for k in ("source", "output")] ==
              [(ids, len(s_extra), "rmid" if s_riff else "smf"),
               (ids if keep else [], len(o_extra), "rmid" if s_riff else "smf")], why + ": report")
        stripped = [write("%d-%s.mid" % (n, k), d) for k, d in (("in", s_smf), ("out", o_smf))]
        check_mapped(*stripped, "refuse", int(60000000 / float(args[1])),
                     mido.MidiFile(stripped[0]).ticks_per_beat, not merge, report)
        if not keep:  # the SMF as the dialogs write it: of the source without its chunks
            run(*args, "-o", stripped[1] + "-plain", stripped[0])
            check(o_smf == open(stripped[1] + "-plain", "rb").read(), why + ": the plain bytes")
    # As text: what the file holds, what the output keeps of it, what was told.
    stdout = run("--info", paths["rmid"], paths["chunked"])[1] + run(
        "--bpm", "75", "--report", "--dry-run", paths["rmid"])[1]
    check([line for line in stdout.splitlines() if line.startswith(("  layout:", "  note:"))] == [
        "  layout: RIFF RMID, other RIFF chunks LIST 32 bytes, DISP 5 bytes; chunks besides the "
        "tracks: XFIH 1 byte",
        "  layout: header extra bytes: 2; chunks besides the tracks: Junk 3 bytes, X \\x7F\\x1F 0 "
        "bytes, XFIH 5 bytes, XFKM 6 bytes",
        "  layout: RIFF RMID, other RIFF chunks LIST 32 bytes, DISP 5 bytes (kept); chunks besides "
        "the tracks: XFIH 1 byte (not written)", "  note: chunks-not-written: " + rows[3][3][0]],
        "as text:\n" + stdout)
    info = json.loads(run("--info", "--json", paths["rmid"])[1])
    check([info[k] for k in ("container", "header_extra_bytes", "chunks", "riff_chunks")] == [
        "rmid", 0, [{"id": "XFIH", "bytes": 1}], [{"id": "LIST", "bytes": 32},
                                                  {"id": "DISP", "bytes": 5}]], "%r" % info)


def check_reading(src, plain, repaired, message=INVALID):
    """`src` without --repair and with it: the ids of the notes told of a converted file, then
    of the repairs made, each a line on stderr (repairs, then notes); None: refused, with the
    hint that names the repairs when --repair reads it. The outputs' bytes."""
    outputs = []
    for args, ids in (([], plain), (["--repair"], repaired)):
        out = os.path.join(WORK, "%s-%d.mid" % (os.path.basename(src), len(args)))
        code, stdout, stderr = run(*args, "--bpm", "97", "--json", "-o", out, src)
        line, what = json.loads(stdout), "%s %s: %d %r" % (src, args, code, stderr)
        notes = line.get("file_notes")
        if ids is None:
            hint = REPAIRABLE + ", ".join(repaired) if repaired and not args else None
            check(code == 1 and (line["message"], line.get("hint")) == (message, hint) and
                  stderr.endswith("smftempo: %s: %s\n" % (src, hint or message)), what)
            continue
        said = [("repaired", r) for r in line["repairs"]] + [("note", r) for r in notes]
        check(code == 0 and [r["id"] for r in (line["repairs"] if args else notes)] == ids and
              stderr == "".join("smftempo: %s: %s: %s\n" % (src, k, r["text"]) for k, r in said),
              what)
        outputs.append(open(out, "rb").read())
    return outputs


def case_repair():
    """Each repair on the smallest file that needs it, and what reading tells without one."""
    one, eot = lambda *events: smf(0, 96, [[(0, bytes.fromhex(e)) for e in events]]), "FF2F00"
    patched = lambda data, at, value: data[:at] + value + data[at + 1:]
    for i, (data, said, repairs) in enumerate([  # None: refused
            (one("E03C40", "FF0100", "3E40", eot), None, ["running-status-after-meta"]),
            (one("903C40", "F001F7", "3E40", eot), None, ["running-status-after-sysex"]),
            (one("903C40", "803C00"), None, ["end-of-track-added"]),
            (patched(one(eot), 21, b"\x64"), None, ["chunk-past-end"]),
            (one(eot, "903C40"), None, ["bytes-after-end-of-track"]),
            (patched(one(eot), 11, b"\2"), None, ["track-count"]),  # more chunks announced
            (patched(one(eot) + one(eot)[14:], 11, b"\1"), ["track-chunks-ignored"],
             ["track-count"]),
            (one(eot) + b"*", ["trailing-bytes-ignored"], ["trailing-bytes"]),
            (bytes(128) + one(eot), ["macbinary"], []),
            (one("F8", eot), None, None)]):  # beyond repair: a status no track may hold
        check_reading(write("r%d.mid" % i, data), said, repairs)


def case_corpus():
    """Every file as SOURCES.tsv says the dialogs take it, then with --repair (below, what the
    reading says of the files with defects); a file converted both ways gives the same bytes."""
    if not os.path.isdir(CORPUS):
        print("no corpus at", CORPUS)
        sys.exit(77)
    with open(os.path.join(CORPUS, "SOURCES.tsv"), encoding="utf-8") as f:
        rows = list(csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE))
    messages = {"invalid-smf": INVALID, "no-tracks": INVALID, "unsupported": UNSUPPORTED}
    said = {"corrupt-file-extra-byte": (["trailing-bytes-ignored"], ["trailing-bytes"]),
            "corrupt-file-missing-byte": (None, ["chunk-past-end", "incomplete-event-dropped",
                                                 "end-of-track-added"]),
            "non-midi-track": (None, ["track-count"]),
            "running-status-metaevent": (None, ["running-status-after-meta"]),
            "running-status-sysex": (None, ["running-status-after-sysex"])}
    for row in rows:
        src, converts = os.path.join(CORPUS, row["file"]), row["expected"].startswith("convert")
        outputs = check_reading(src, *said.get(row["file"][17:-4], ([], []) if converts else (
            None, None)), messages.get(row["expected"].split(":")[-1], INVALID))
        if converts:
            check_conversion(src, os.path.join(WORK, row["file"] + "-0.mid"), 97.0)
        check(len(outputs) < 2 or outputs[0] == outputs[1], row["file"] + ": the same bytes")


if __name__ == "__main__":
    SMFTEMPO, WORK, CORPUS, CASE = sys.argv[1:5]
    locale.setlocale(locale.LC_MESSAGES, "")  # os.strerror as smftempo says it
    if mido is None and CASE not in ("help", "usage", "info"):
        print("mido is not installed for", sys.executable)
        sys.exit(77)
    subprocess.run(["rm", "-rf", WORK])
    os.makedirs(WORK)
    globals()["case_" + CASE]()
    print("%s: %s" % (CASE, "%d failures" % len(failures) if failures else "ok"))
    sys.exit(1 if failures else 0)
