#!/usr/bin/env python3
"""smftempo as a user runs it: cli_test.py SMFTEMPO WORKDIR CORPUS CASE; 77 when the case
cannot run here. Files are written with the standard library and read back with mido, an
independent reader."""

import csv
import itertools
import os
import random
import re
import struct
import subprocess
import sys

INVALID = "有効な SMF ではありません。"
UNSUPPORTED = "対応していない SMF 形式です。"
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


def run(*args):  # system texts in English
    done = subprocess.run([SMFTEMPO, *args], capture_output=True, env=dict(os.environ, LC_ALL="C"),
                          timeout=60)  # a hang fails the case
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


def generate(seed, tracks, events, tempo=None, tempo_track=0, division=480):
    """Format 1, `events` + 1 per track: running status, sysex, meta, shared ticks, long gaps."""
    rng, out = random.Random(seed), []
    for t in range(tracks):
        track, now, running = [(0, tempo_event(tempo))] if tempo and t == tempo_track else [], 0, 0
        for _ in range(events):
            r = rng.random()
            now += 0 if r < 0.35 else rng.randrange(1, 240) if r < 0.97 else rng.randrange(1 << 21)
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
            ("BPM too fast", ["--bpm", "6.1e7", "-o", out, src], bpm + "変換後のテンポが範囲外です。")]:
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
    for i, (why, data, text, message) in enumerate([
            ("tempo change after the start", smf(1, 480, late), "120", UNSUPPORTED),
            ("times beyond 32 bits", smf(0, 480, far), "60000000",
             "変換後のイベント時刻が SMF で表せる範囲を超えるため、保存できません。")]):
        src = write("refused/in%d.mid" % i, data)
        code, _, stderr = run("--bpm", text, "-o", os.path.join(WORK, "refused/out.mid"), src)
        check(code == 1 and stderr == "smftempo: %s: %s\n" % (src, message), why + ": " + stderr)
    # A FIFO (whose plain open would wait for a writer for ever) and a device: refused at once.
    os.mkfifo(fifo := os.path.join(WORK, "refused/fifo.mid"))
    for src in (fifo, "/dev/null"):
        code, _, stderr = run("--bpm", "120", "-o", os.path.join(WORK, "refused/out.mid"), src)
        check(code == 1 and stderr == "smftempo: %s: 通常のファイルではありません。\n" % src,
              "%s: %d %r" % (src, code, stderr))
    check(sorted(os.listdir(os.path.join(WORK, "refused"))) == ["fifo.mid", "in0.mid", "in1.mid"],
          "leftovers")


def case_batch():
    good = [write(name, generate(seed, 3, 200, 500000 + seed))
            for seed, name in ((1, "a.mid"), (2, "sub/b.mid"), (3, "c.mid"))]
    bad, missing = write("bad.mid", smf(2, 480, [[(0, EOT)]])), os.path.join(WORK, "missing.mid")
    os.makedirs(outdir := os.path.join(WORK, "out"))
    code, _, stderr = run("--bpm", "90", "--out-dir", outdir, *good[:2], bad, missing, good[2])
    check(code == 1 and stderr == "smftempo: %s: %s\nsmftempo: %s: No such file or directory\n"
          % (bad, UNSUPPORTED, missing), "batch going on past failures: %d %r" % (code, stderr))
    check(sorted(os.listdir(outdir)) == ["a.mid", "b.mid", "c.mid"], "batch outputs")
    check(run("--force", "--bpm", "45", "--out-dir", outdir + "/", *good)[0] == 0, "batch --force")
    for src in good:
        check_conversion(src, os.path.join(outdir, os.path.basename(src)), 45.0)


def case_info():
    # The BPM as the dialog shows it: 10 significant digits, trailing zeros cut, ".0" kept.
    rows = [(None, 4, "120.0"), (16777215, 1, "3.5762789"), (1, 3, "60000000.0"),
            (8571428, 2, "7.000000467")]
    paths = [write("i%d.mid" % i, generate(i, n, 30, t, n - 1)) for i, (t, n, _) in enumerate(rows)]
    bad = write("bad.mid", b"MThd")
    code, stdout, stderr = run("--info", paths[0], bad, *paths[1:])
    check(code == 1 and stdout.splitlines() == [
        "%s: %s BPM, format 1, division 480, %d track%s, %d events" % (
            path, text, n, "s" * (n > 1), n * 31 + (tempo is not None))
        for path, (tempo, n, text) in zip(paths, rows)], "--info lines:\n" + stdout)
    check(stderr == "smftempo: %s: %s\n" % (bad, INVALID), "--info message: %r" % stderr)


def case_corpus():
    if not os.path.isdir(CORPUS):
        print("no corpus at", CORPUS)
        sys.exit(77)
    with open(os.path.join(CORPUS, "SOURCES.tsv"), encoding="utf-8") as f:
        rows = list(csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE))
    messages = {"invalid-smf": INVALID, "no-tracks": INVALID, "unsupported": UNSUPPORTED}
    for row in rows:
        src, out = os.path.join(CORPUS, row["file"]), os.path.join(WORK, row["file"])
        code, _, stderr = run("--bpm", "97", "-o", out, src)
        if row["expected"].startswith("convert"):
            if check(code == 0 and not stderr, "%s: %d %r" % (row["file"], code, stderr)):
                check_conversion(src, out, 97.0)
        else:
            message = messages[row["expected"].split(":", 1)[1]]
            check(code == 1 and stderr == "smftempo: %s: %s\n" % (src, message)
                  and not os.path.exists(out), "%s: %d %r" % (row["file"], code, stderr))


if __name__ == "__main__":
    SMFTEMPO, WORK, CORPUS, CASE = sys.argv[1:5]
    if mido is None and CASE in ("convert", "batch", "corpus"):
        print("mido is not installed for", sys.executable)
        sys.exit(77)
    subprocess.run(["rm", "-rf", WORK])
    os.makedirs(WORK)
    globals()["case_" + CASE]()
    print("%s: %s" % (CASE, "%d failures" % len(failures) if failures else "ok"))
    sys.exit(1 if failures else 0)
