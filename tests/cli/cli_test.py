#!/usr/bin/env python3
"""End-to-end checks of smftempo as a user runs it.

    cli_test.py SMFTEMPO WORKDIR CORPUS CASE

CASE is one of: help, usage, convert, batch, info, corpus, mido. Exit status
0 on success, 1 on any failure, 77 when the case cannot run here (no corpus,
no mido)."""

import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import midifiles as mf  # noqa: E402

SKIP = 77
INVALID = "有効な SMF ではありません。"
UNSUPPORTED = "対応していない SMF 形式です。"
EXISTS = "出力ファイルが既に存在します。置き換えるには --force を指定してください。"
TOO_SMALL = "変換後のテンポが小さすぎます。1以上の値を指定してください。"
OUT_OF_RANGE = "変換後のテンポが範囲外です。3.5763 以上 60000000 以下の値を指定してください。"
NO_TEMPO = "変換後のテンポを指定してください。"
OVERFLOW = "変換後のイベント時刻が SMF で表せる範囲を超えるため、保存できません。"

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


def run(*args):
    # System texts in English, whatever the machine's language.
    env = dict(os.environ, LC_ALL="C")
    done = subprocess.run([SMFTEMPO, *args], capture_output=True, env=env)
    return done.returncode, done.stdout.decode(), done.stderr.decode()


def write(path, data):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def read(path):
    with open(path, "rb") as f:
        return f.read()


def check_conversion(source, output, bpm):
    """The output is the source merged into one track, labelled with the new
    tempo, and every event sounds within half a tick of where it did."""
    what = "%s from %s at %r" % (output, source, bpm)
    src, out = mf.Smf(read(source)), mf.Smf(read(output))
    if not check((out.format, len(out.tracks), out.division) == (0, 1, src.division), what + ": header"):
        return
    old, new = src.tempo(), int(60000000 / bpm)
    events, expected = out.tracks[0], src.merged()
    if not any(data[:2] == b"\xff\x51" for _, data in expected):
        check(events[0] == (0, mf.tempo_event(new)), what + ": tempo event added at the front")
        events = events[1:]
    check(events[-1][1] == mf.EOT, what + ": end of track last")
    check(abs(2 * events[-1][0] * new - 2 * src.end() * old) <= new, what + ": end of track time")
    body = events[:-1]
    check(len(body) == len(expected), what + ": %d events, expected %d" % (len(body), len(expected)))
    bad = 0
    for i, ((t_out, d_out), (t_src, d_src)) in enumerate(zip(body, expected)):
        if d_src[:2] == b"\xff\x51":
            d_src = d_src[:-3] + new.to_bytes(3, "big")
        # |t_out * new - t_src * old| <= new / 2, in integers.
        if d_out != d_src or abs(2 * t_out * new - 2 * t_src * old) > new:
            bad += 1
            if bad <= 3:
                check(False, "%s: event %d is %r, expected %r" % (what, i, (t_out, d_out), (t_src, d_src)))
    check(bad == 0, "%s: %d events moved or changed" % (what, bad))


def case_help():
    for flag in ("--help", "-h"):
        code, out, err = run(flag)
        check(code == 0 and out.startswith("usage: smftempo") and err == "", flag)
    code, out, err = run("--version")
    check(code == 0 and re.fullmatch(r"smftempo \d+\.\d+\.\d+\n", out) and err == "", "--version: " + out)


def case_usage():
    src = write(os.path.join(WORK, "in.mid"), mf.generate(1, tracks=2, events=20))
    out = os.path.join(WORK, "out.mid")
    rows = [
        ("no input", [], "no input file"),
        ("no output", ["--bpm", "90", src], "give either -o or --out-dir"),
        ("both outputs", ["--bpm", "90", "-o", out, "--out-dir", WORK, src], "give either -o or --out-dir"),
        ("no BPM", ["-o", out, src], "--bpm is required"),
        ("-o with two inputs", ["--bpm", "90", "-o", out, src, src], "-o takes exactly one input"),
        ("--bpm without value", ["--bpm"], "--bpm needs a value"),
        ("unknown option", ["--frobnicate", src], "unknown option --frobnicate"),
        ("--info with --bpm", ["--info", "--bpm", "90", src], "--info takes no"),
        ("empty BPM", ["--bpm", "", "-o", out, src], "smftempo: --bpm: " + NO_TEMPO + "\n"),
        ("BPM a word", ["--bpm", "abc", "-o", out, src], "smftempo: --bpm: " + TOO_SMALL + "\n"),
        ("BPM 1 needs 25 bits", ["--bpm", "1", "-o", out, src], "smftempo: --bpm: " + OUT_OF_RANGE + "\n"),
        ("BPM too fast", ["--bpm", "60000001", "-o", out, src], "smftempo: --bpm: " + OUT_OF_RANGE + "\n"),
        ("BPM beyond doubles", ["--bpm", ".5e400", "-o", out, src],
         "smftempo: --bpm: " + OUT_OF_RANGE + "\n"),
    ]
    for why, args, message in rows:
        code, stdout, stderr = run(*args)
        check(code == 2, "%s: exit %d" % (why, code))
        check(message in stderr and stdout == "", "%s: stderr %r" % (why, stderr))
        check(not os.path.exists(out), why + ": no output")


def case_convert():
    rows = [  # why, seed, tracks, tempo, tempo track, division, BPM text, its value
        ("tempo in the third track, slower", 1, 5, 600000, 2, 480, "61.5", 61.5),
        ("no tempo event: one is added", 2, 3, None, 0, 480, "240", 240.0),
        ("slowest tempo", 3, 2, 500000, 0, 480, "3.5763", 3.5763),
        ("faster than the source by far", 4, 1, 250000, 0, 96, "1000", 1000.0),
        ("many tracks", 5, 16, 1000000, 15, 96, "1e2", 100.0),
        ("the dialog's grammar: exponent d, text after it", 6, 3, 400000, 1, 384, "12.5d1xyz", 125.0),
    ]
    for why, seed, tracks, tempo, tempo_track, division, text, value in rows:
        src = write(os.path.join(WORK, "in%d.mid" % seed),
                    mf.generate(seed, tracks, 400, tempo, tempo_track, division))
        out = os.path.join(WORK, "out%d.mid" % seed)
        code, stdout, stderr = run("--bpm", text, "-o", out, src)
        if check(code == 0 and stdout == "" and stderr == "", "%s: exit %d %r" % (why, code, stderr)):
            check_conversion(src, out, value)

    # An existing output is replaced only with --force.
    src, out = os.path.join(WORK, "in1.mid"), write(os.path.join(WORK, "old.mid"), b"old")
    code, _, stderr = run("--bpm", "90", "-o", out, src)
    check(code == 1 and stderr == "smftempo: %s: %s\n" % (out, EXISTS), "existing output: %r" % stderr)
    check(read(out) == b"old", "existing output kept")
    code, _, stderr = run("--force", "--bpm", "90", "-o", out, src)
    check(code == 0 and stderr == "", "--force: %r" % stderr)
    check_conversion(src, out, 90.0)

    # Refusals leave nothing behind, not even a temporary file.
    late_tempo = mf.smf(1, 480, [[(0, b"\x90\x3c\x40"), (10, mf.EOT)],
                                 [(100, mf.tempo_event(400000)), (100, mf.EOT)]])
    far = mf.smf(0, 480, [[(0, mf.tempo_event(16777215)), (0x200000, b"\x90\x3c\x40"), (0x200000, mf.EOT)]])
    rows = [
        ("tempo change after the start", late_tempo, "120", UNSUPPORTED),
        ("format 2", mf.smf(2, 480, [[(0, mf.EOT)]]), "120", UNSUPPORTED),
        ("cut short", late_tempo[:-2], "120", INVALID),
        ("no track chunk", mf.smf(0, 480, [], chunks=0), "120", INVALID),
        ("times beyond 32 bits", far, "60000000", OVERFLOW),
    ]
    folder = os.path.join(WORK, "refused")
    for i, (why, data, text, message) in enumerate(rows):
        src = write(os.path.join(folder, "in%d.mid" % i), data)
        out = os.path.join(folder, "out%d.mid" % i)
        code, _, stderr = run("--bpm", text, "-o", out, src)
        check(code == 1 and stderr == "smftempo: %s: %s\n" % (src, message), "%s: %d %r" % (why, code, stderr))
    check(sorted(os.listdir(folder)) == ["in%d.mid" % i for i in range(len(rows))], "refusals wrote nothing")


def case_batch():
    good = [write(os.path.join(WORK, name), mf.generate(seed, 3, 200, 500000 + seed))
            for seed, name in ((1, "a.mid"), (2, "sub/b.mid"), (3, "c.mid"))]
    bad = write(os.path.join(WORK, "bad.mid"), mf.smf(2, 480, [[(0, mf.EOT)]]))
    missing = os.path.join(WORK, "missing.mid")
    outdir = os.path.join(WORK, "out")
    os.makedirs(outdir)
    code, _, stderr = run("--bpm", "90", "--out-dir", outdir, good[0], good[1], bad, missing, good[2])
    check(code == 1, "batch with failures: exit %d" % code)
    check(stderr == "smftempo: %s: %s\nsmftempo: %s: No such file or directory\n" % (bad, UNSUPPORTED, missing),
          "batch messages: %r" % stderr)
    check(sorted(os.listdir(outdir)) == ["a.mid", "b.mid", "c.mid"], "batch outputs: %r" % os.listdir(outdir))
    for src in good:
        check_conversion(src, os.path.join(outdir, os.path.basename(src)), 90.0)

    code, _, stderr = run("--bpm", "90", "--out-dir", outdir, *good)
    check(code == 1 and stderr.count(EXISTS) == 3, "batch over existing outputs: %r" % stderr)
    code, _, stderr = run("--force", "--bpm", "45", "--out-dir", outdir + "/", *good)
    check(code == 0 and stderr == "", "batch with --force: %r" % stderr)
    for src in good:
        check_conversion(src, os.path.join(outdir, os.path.basename(src)), 45.0)

    nowhere = os.path.join(WORK, "nowhere")
    code, _, stderr = run("--bpm", "90", "--out-dir", nowhere, good[0])
    check(code == 1 and stderr == "smftempo: %s/a.mid: No such file or directory\n" % nowhere,
          "missing output folder: %r" % stderr)


def case_info():
    rows = [  # name, tempo, tracks, BPM text
        ("none.mid", None, 4, "120.0"),
        ("t100.mid", 600000, 2, "100.0"),
        ("slow.mid", 16777215, 1, "3.5762789"),
        ("fast.mid", 1, 3, "60000000.0"),
        ("t7.mid", 8571428, 2, "7.000000467"),
    ]
    paths, expected = [], []
    for name, tempo, tracks, text in rows:
        data = mf.generate(len(paths), tracks, 30, tempo, tracks - 1)
        paths.append(write(os.path.join(WORK, name), data))
        expected.append("%s: %s BPM, format 1, division 480, %d track%s, %d events" % (
            paths[-1], text, tracks, "" if tracks == 1 else "s", mf.Smf(data).event_count()))
    bad = write(os.path.join(WORK, "bad.mid"), b"MThd")
    code, stdout, stderr = run("--info", paths[0], bad, *paths[1:])
    check(code == 1, "--info with a bad file: exit %d" % code)
    check(stdout.splitlines() == expected, "--info lines:\n%s" % stdout)
    check(stderr == "smftempo: %s: %s\n" % (bad, INVALID), "--info message: %r" % stderr)

    out = os.path.join(WORK, "converted.mid")
    check(run("--bpm", "90", "-o", out, paths[0])[0] == 0, "convert for --info")
    merged = mf.Smf(read(paths[0]))
    count = len(merged.merged()) + 2  # a tempo event added, one end of track
    code, stdout, _ = run("--info", out)
    check(code == 0 and stdout == "%s: 90.00009 BPM, format 0, division 480, 1 track, %d events\n" % (out, count),
          "--info after conversion: %r" % stdout)


def corpus_rows():
    if not os.path.isdir(CORPUS):
        print("no corpus at", CORPUS)
        sys.exit(SKIP)
    with open(os.path.join(CORPUS, "SOURCES.tsv"), encoding="utf-8") as f:
        header = f.readline().rstrip("\n").split("\t")
        return [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f if line.strip()]


def case_corpus():
    rows = corpus_rows()
    messages = {"invalid-smf": INVALID, "no-tracks": INVALID, "unsupported": UNSUPPORTED}
    outdir = os.path.join(WORK, "one")
    os.makedirs(outdir)
    for row in rows:
        src, out = os.path.join(CORPUS, row["file"]), os.path.join(outdir, row["file"])
        code, _, stderr = run("--bpm", "97", "-o", out, src)
        if row["expected"].startswith("convert"):
            if check(code == 0 and stderr == "", "%s: exit %d %r" % (row["file"], code, stderr)):
                check_conversion(src, out, 97.0)
            facts = re.match(r"format (\d), (\d+) track\(s\), division (\d+), \d+ tempo event\(s\), (\d+) events",
                             row["notes"])
            fmt, tracks, division, events = facts.groups()
            code, stdout, _ = run("--info", src)
            check(re.fullmatch(r".*: [0-9.]+ BPM, format %s, division %s, %s tracks?, %s events\n"
                               % (fmt, division, tracks, events), stdout), "--info %r" % stdout)
        else:
            reason = row["expected"].split(":", 1)[1]
            check(code == 1 and stderr == "smftempo: %s: %s\n" % (src, messages[reason]),
                  "%s: exit %d %r" % (row["file"], code, stderr))
            check(not os.path.exists(out), row["file"] + ": no output")

    # The whole collection as one batch: the same verdicts, going on past refusals.
    outdir = os.path.join(WORK, "batch")
    os.makedirs(outdir)
    code, _, _ = run("--bpm", "97", "--out-dir", outdir, *[os.path.join(CORPUS, r["file"]) for r in rows])
    converted = sorted(r["file"] for r in rows if r["expected"].startswith("convert"))
    check(code == 1 and sorted(os.listdir(outdir)) == converted, "corpus batch: %r" % os.listdir(outdir))
    for name in converted:
        check(read(os.path.join(outdir, name)) == read(os.path.join(WORK, "one", name)), name + ": same output")


def case_mido():
    try:
        import mido
    except ImportError:
        print("mido is not installed for", sys.executable)
        sys.exit(SKIP)
    pairs = []
    for seed, tempo, text in ((21, 600000, "61.5"), (22, None, "240"), (23, 16777215, "3.6")):
        src = write(os.path.join(WORK, "g%d.mid" % seed), mf.generate(seed, 6, 500, tempo, 2))
        pairs.append((src, text))
    if os.path.isdir(CORPUS):
        pairs += [(os.path.join(CORPUS, r["file"]), "97") for r in corpus_rows() if r["expected"] == "convert"]
    for src, text in pairs:
        out = os.path.join(WORK, "mido-" + os.path.basename(src))
        if not check(run("--bpm", text, "-o", out, src)[0] == 0, "convert " + src):
            continue
        bpm, what = float(text), "mido: %s at %s" % (src, text)
        source, result = mido.MidiFile(src), mido.MidiFile(out)
        check(result.type == 0 and len(result.tracks) == 1, what + ": format 0, one track")
        tempos = [m.tempo for m in result.tracks[0] if m.type == "set_tempo"]
        check(tempos == [int(60000000 / bpm)], what + ": tempo %r" % tempos)
        old = next((m.tempo for t in source.tracks for m in t if m.type == "set_tempo"), 500000)

        def timed(track, tempo, tpb):
            now, out = 0, []
            for m in track:
                now += m.time
                if m.type not in ("set_tempo", "end_of_track"):
                    out.append((mido.tick2second(now, tpb, tempo), m.copy(time=0)))
            return out

        want = timed(mido.merge_tracks(source.tracks), old, source.ticks_per_beat)
        got = timed(result.tracks[0], tempos[0] if tempos else 500000, result.ticks_per_beat)
        half_tick = mido.tick2second(0.5, result.ticks_per_beat, int(60000000 / bpm))
        check([m for _, m in got] == [m for _, m in want], what + ": same messages in the same order")
        late = [(s, w, m) for (s, m), (w, _) in zip(got, want) if abs(s - w) > half_tick * (1 + 1e-9)]
        check(not late, what + ": %d messages moved, first %r" % (len(late), late[:1]))


if __name__ == "__main__":
    SMFTEMPO, WORK, CORPUS, CASE = sys.argv[1:5]
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    globals()["case_" + CASE]()
    print("%s: %s" % (CASE, "%d failures" % len(failures) if failures else "ok"))
    sys.exit(1 if failures else 0)
