#!/usr/bin/env python3
"""smftempo as a user runs it: cli_test.py SMFTEMPO WORKDIR CORPUS CASE; 77 when the case
cannot run here. Outputs are read back with mido, an independent reader."""

import csv, errno, itertools, json, locale, os, random, re, struct, subprocess, sys
from fractions import Fraction

INVALID = "有効な SMF ではありません。"
UNSUPPORTED = "対応していない SMF 形式です。"
TEMPO_MAP = "SMF は、--tempo-map flatten または --tempo-map scale で変換できます。"
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


def run(*args, stdin=b"", lang=None, stderr=subprocess.PIPE, binary=False):
    """In the locale the test runs in (CMake sets ja_JP.UTF-8) unless `lang` is given."""
    env = dict(os.environ, **({"LC_ALL": lang} if lang else {}))
    done = subprocess.run([SMFTEMPO, *args], input=stdin, stdout=subprocess.PIPE, stderr=stderr,
                          env=env, timeout=60)  # a hang fails
    return (done.returncode, done.stdout if binary else done.stdout.decode(),
            (done.stderr or b"").decode())


def write(name, data):
    os.makedirs(os.path.dirname(path := os.path.join(WORK, name)), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def varlen(value, more=0):
    return (varlen(value >> 7, 0x80) if value > 0x7F else b"") + bytes([value & 0x7F | more])


def tempo_event(us):
    return b"\xff\x51\x03" + us.to_bytes(3, "big")


def chunked(fmt, division, parts, extra=b"", count=None):
    """An SMF of (id, data) chunks; `extra` bytes in the header, which may count otherwise."""
    return b"MThd" + struct.pack(">IHHH", 6 + len(extra), fmt, len(parts) if count is None else
                                 count, division) + extra + b"".join(
        i + struct.pack(">I", len(d)) + d for i, d in parts)


def smf(fmt, division, tracks):
    """Tracks of (absolute tick, event bytes as written)."""
    return chunked(fmt, division, [(b"MTrk", b"".join(varlen(t - p) + d for (p, _), (t, d) in zip(
        [(0, b"")] + track, track))) for track in tracks])


def corpus():
    if not os.path.isdir(CORPUS):
        return []
    with open(os.path.join(CORPUS, "SOURCES.tsv"), encoding="utf-8") as f:
        return list(csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE))


def generate(seed, tracks, events, tempo=None, tempo_track=0, division=480, changes=0):
    """Format 1: running status, sysex, meta, shared ticks, long gaps, `changes` tempo events."""
    rng, out = random.Random(seed), []
    for t in range(tracks):
        track, now, running = [(0, tempo_event(tempo))] if tempo and t == tempo_track else [], 0, 0
        for _ in range(events):
            r = rng.random()
            now += 0 if r < 0.35 else rng.randrange(1, 240) if r < 0.97 else rng.randrange(1 << 21)
            if rng.random() < changes / tracks / events:  # on an event's tick, or an odd one
                now, running = now + rng.choice((0, 1, 7)), 0
                track.append((now, tempo_event(rng.choice((rng.randrange(150000, 2 << 20), 12345)))))
            data = bytes(rng.randrange(128) for _ in range(rng.randrange(1, 30)))
            status = rng.choice((0x80, 0x90, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0)) | t % 16
            event = bytes([status]) + (data * 2)[:1 if 0xC0 <= status < 0xE0 else 2]
            if rng.random() < 0.3:  # system exclusive or meta, which end running status
                status, event = 0, rng.choice((b"\xf0" + varlen(len(data) + 1) + data + b"\xf7",
                                               b"\xf7" + varlen(len(data)) + data,
                                               b"\xff\x01" + varlen(len(data)) + data))
            track.append((now, event[status == running != 0 and rng.random() < 0.7:]))
            running = status
        out.append(track + [(now + rng.randrange(500), EOT)])
    return smf(1, division, out)


def timed(path, merge=False):
    """The tracks (merged, as format 0's are) as [(exact seconds, tick, message)]; the map."""
    mid = mido.MidiFile(path)
    tracks = [mido.merge_tracks(mid.tracks)] if merge or mid.type == 0 else mid.tracks
    ticks = [list(zip(itertools.accumulate(m.time for m in t), t)) for t in tracks]
    changes = sorted(((t, m.tempo) for track in ticks for t, m in track if m.type == "set_tempo"),
                     key=lambda change: change[0])  # stable: by tick, then track

    def seconds(tick):
        time, at, tempo = 0, 0, 500000
        for start, value in itertools.takewhile(lambda change: change[0] <= tick, changes):
            time, at, tempo = time + (start - at) * tempo, start, value
        return Fraction(time + (tick - at) * tempo, mid.ticks_per_beat * 10**6)

    return mid, [[(seconds(t), t, m) for t, m in track] for track in ticks], changes


def check_mapped(source, output, bpm=None, mode="refuse", division=0, keep=False, report=None):
    """Every event of the source in the output, in order, within half an output tick of its time
    in seconds; the tempo rewritten, added, flattened or scaled; the report's figures measured."""
    what = "%s (%s)" % (output, mode)
    src, src_tracks, src_changes = timed(source, not keep)
    out, out_tracks, out_changes = timed(output)
    start = src_changes[0][1] if src_changes and src_changes[0][0] == 0 else 500000
    tempo = int(60000000 / bpm) if bpm else start
    if not check(len(out_tracks) == len(src_tracks) and out.type == (keep and src.type) and
                 out.ticks_per_beat == (division or src.ticks_per_beat), what + ": layout"):
        return
    if not src_changes or src_changes[0][0] != 0:  # a tempo event added at the front
        check(out_tracks[0][0][1:] == (0, mido.MetaMessage("set_tempo", tempo=tempo)), what)
        out_tracks[0] = out_tracks[0][1:]
    if mode == "flatten":
        check([v for _, v in out_changes] == [tempo], what + ": one tempo")
        src_tracks = [[e for e in t if e[2].type != "set_tempo"] for t in src_tracks]
        out_tracks = [[e for e in t if e[2].type != "set_tempo"] for t in out_tracks]
    same = lambda m: m.copy(time=0, tempo=1) if m.type == "set_tempo" else m.copy(time=0)
    largest = 0
    for src_track, out_track in zip(src_tracks, out_tracks):
        if not check([same(m) for *_, m in out_track] == [same(m) for *_, m in src_track],
                     what + ": messages"):
            return
        for (s, _, source), (o, t, m) in zip(src_track, out_track):
            # Of the longest tempo in effect: tempo events closer than a tick land on one tick.
            tick = max([v for at, v in out_changes if at == t] +
                       ([v for at, v in out_changes if at < t] or [500000])[-1:])
            check(abs(o - s) <= Fraction(tick, 2 * out.ticks_per_beat * 10**6) and (
                m.type != "set_tempo" or m.tempo == (2 * source.tempo * tempo + start) //
                (2 * start)), "%s: %r at tick %d off by %s s" % (what, m, t, float(o - s)))
            largest = max(largest, abs(o - s))
    check(not report or abs(report["timing"]["largest_error_us"] - float(largest) * 1e6) < 1e-3
          and all(abs(report[k]["seconds"] - max(t[-1][0] for t in tracks)) < 1e-9
                  for k, tracks in (("source", src_tracks), ("output", out_tracks))),
          "%s: report %r, largest error measured %r" % (what, report, float(largest) * 1e6))


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
            ("1 BPM is not below 1", ["--bpm", "1", "-o", out, src], bpm + "変換後のテンポが範囲外"),
            ("division too fine", ["--division", "32768", "-o", out, src], "--division: Value"),
            ("--exact --division", ["--bpm", "9", "--exact", "--division", "9", src], "--exact cho")]:
        code, stdout, stderr = run(*args)
        check(code == 2 and "smftempo: " + message in stderr and not stdout
              and not os.path.exists(out), "%s: %d %r" % (why, code, stderr))


def case_convert():
    src, out = write("in.mid", generate(1, 5, 400, 600000, 2)), write("old.mid", b"old")
    code, _, stderr = run("--bpm", "90", "-o", out, src)
    check(code == 1 and open(out, "rb").read() == b"old" and stderr == "smftempo: %s: 出力ファイルが"
          "既に存在します。置き換えるには --force を指定してください。\n" % out, "no --force: " + stderr)
    check(run("--dry-run", "--bpm", "90", "-o", out, src)[0] == 0 and open(out, "rb").read() ==
          b"old", "--dry-run: an existing output is neither refused nor touched")
    check(run("--force", "--bpm", "12.5d1x", "-o", out, src) == (0, "", ""), "--force")
    late = [[(0, b"\x90\x3c\x40"), (10, EOT)], [(100, tempo_event(400000)), (100, EOT)]]
    crowded = chunked(1, 480, [(b"Junk", b"")] * 65533 + [(b"MTrk", b"\0" + EOT)] * 3, count=65535)
    mapped = smf(0, 480, [[(0, tempo_event(500000)), (10, tempo_event(0xFFFFFF)), (20, EOT)]])
    wrapped = [[(k * 0x0FFFFFFF, b"\x90\x3c\x40" if k < 17 else EOT) for k in range(18)]]
    for i, (why, data, args, messages) in enumerate([
            ("tempo change after the start", smf(1, 480, late), [], [UNSUPPORTED, TEMPO_MAP]),
            *(("%s: --tempo-map no help" % why, data, [], [UNSUPPORTED]) for why, data in [
                ("format 2", smf(2, 480, late)), ("SMPTE", smf(1, 0xE728, late)),
                ("division 0", smf(1, 0, late)), ("times past 2^32", smf(1, 480, late + wrapped)),
                ("a tempo of 0", smf(0, 480, [[(0, tempo_event(0)), (0, EOT)]]))]),
            ("--keep-tracks", smf(1, 480, late), ["--keep-tracks"], [UNSUPPORTED, TEMPO_MAP]),
            ("--exact: no whole division", smf(0, 480, [[(0, tempo_event(500000)), (9, EOT)]]),
             ["--exact", "--bpm", "97"], ["近い BPM: 遅い側 96.9696、速い側 97.4619"]),
            ("--exact cannot flatten", mapped, ["--exact", "--tempo-map", "flatten"],
             ["(--exact と --tempo-map flatten)"]),
            ("a scaled tempo past 24 bits", mapped, ["--bpm", "60", "--tempo-map", "scale"],
             ["tick 10 のテンポが 33554430 µs になり"]),
            ("ticks past 32 bits", smf(0, 1, [[(0, tempo_event(0xFFFFFF)), (200000000, EOT)]]),
             ["--bpm", "60000000", "--tempo-map", "flatten"], ["SMF で表せる範囲を超える"]),
            ("tracks and kept chunks past 65535", crowded, ["--repair", "--keep-tracks",
                                                            "--keep-chunks"],
             ["repaired: the header announces 65535 chunks; the file's 3 track chunks read",
              "トラックとチャンクが合わせて 65535 個を超え"])]):
        src = write("refused/in%d.mid" % i, data)
        code, _, stderr = run("--bpm", "120", *args, "-o", os.path.join(WORK, "refused/out"), src)
        lines = stderr.splitlines()  # each message on a line of its own, about the file
        check(code == 1 and len(lines) == len(messages) and all(line.startswith(
            "smftempo: %s: " % src) and m in line for m, line in zip(messages, lines)), why + stderr)
    check(sorted(os.listdir(os.path.join(WORK, "refused"))) ==
          sorted("in%d.mid" % i for i in range(i + 1)), "leftovers")


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
        check_mapped(src, os.path.join(outdir, os.path.basename(src)), 45.0)
    twin = write("sub/a.mid", generate(4, 2, 50, 400000))
    code, _, stderr = run("--force", "--bpm", "60", "--out-dir", outdir, good[0], twin, good[2])
    check(code == 1 and stderr.startswith("smftempo: %s: 出力ファイル %s は、この実行で先に別の入力"
                                          % (twin, outdir + "/a.mid"))
          and stderr.endswith("\nsmftempo: 変換 2 件、拒否 1 件、失敗 0 件\n") and stderr.count("\n") == 2,
          "same name twice: %d %r" % (code, stderr))
    write("out/bad.mid", b"old")  # a refused input's output, there before the run, stays free
    code, _, stderr = run("--force", "--bpm", "60", "--out-dir", outdir, bad, write(
        "sub/bad.mid", generate(5, 2, 50)))
    check(code == 1 and "変換 1 件、拒否 1 件" in stderr, "a refused input's name: %r" % stderr)


def case_tempo_map():
    files = {"map at 0": (11, 3, 300, 600000, 0, 480, 40), "none at 0": (12, 4, 300, 0, 0, 96, 25),
             "spread": (13, 5, 200, 400000, 3, 480, 60), "one": (14, 3, 300, 500000, 1, 480, 0)}
    rows = [("map at 0", "--bpm 100 --tempo-map flatten"),
            ("none at 0", "--bpm 90 --tempo-map scale --division 24"),
            ("spread", "--bpm 133.3 --tempo-map flatten --division 1920 --keep-tracks"),
            ("spread", "--bpm 61 --tempo-map scale --keep-tracks"),
            ("spread", "--bpm 61 --tempo-map scale"), ("one", "--bpm 100 --exact"),
            ("one", "--division 1000"), ("one", "--bpm 97.3"),
            ("one", "--bpm 97.3 --tempo-map flatten"), ("one", "--bpm 97.3 --tempo-map scale")]
    paths = {name: write(name, generate(*a[:6], changes=a[6])) for name, a in files.items()}
    rows += [(os.path.join(CORPUS, row["file"]), "--bpm 97 --tempo-map scale --keep-tracks "
              "--division 77") for row in corpus() if row["expected"].startswith("convert")]
    for i, (name, args) in enumerate(rows):
        out, args = os.path.join(WORK, "map%d.mid" % i), args.split()
        code, stdout, stderr = run(*args, "--json", "-o", out, paths.get(name, name))
        if not check(code == 0 and all(": note: " in line for line in stderr.splitlines()),
                     "%s %s: %d %r" % (name, args, code, stderr)):
            continue
        value = lambda flag, default: args[args.index(flag) + 1] if flag in args else default
        report, exact = json.loads(stdout), "--exact" in args  # no tick moves: the division does
        check_mapped(paths.get(name, name), out, float(value("--bpm", 0)), value("--tempo-map", ""),
                     576 if exact else int(value("--division", 0)), "--keep-tracks" in args, report)
        check(not exact or report["timing"]["largest_error_us"] == 0, "--exact: %r" % report)
    check(len({open(os.path.join(WORK, "map%d.mid" % i), "rb").read() for i in (7, 8, 9)}) == 1,
          "one tempo at tick 0: flatten and scale give the plain conversion's bytes")


def case_report():
    on, off = lambda key: b"\x90" + bytes([key, 64]), lambda key: b"\x80" + bytes([key, 64])
    notes = write("notes.mid", smf(0, 480, [[(0, on(60)), (3, off(60)), (5, on(60)), (6, off(60)),
                                             (100, on(62)), (101, off(62)), (400, EOT)]]))
    bad, outdir = write("bad.mid", b"MThd"), os.path.join(WORK, "out")
    mendable = write("mendable.mid", smf(0, 96, [[(0, b"\x90\x3c\x40")]]))  # no end of track
    args = ("--division", "48", "--min-note", "2")
    code, stdout, _ = run("--dry-run", "--json", *args, "--out-dir", outdir, notes, mendable, bad)
    lines = [json.loads(line) for line in stdout.splitlines()]
    check(code == 1 and not os.path.exists(outdir) and [r["status"] for r in lines] ==
          ["converted", "refused", "refused"] and [(r["message"], r.get("hint")) for r in lines[1:]]
          == [(INVALID, REPAIRABLE + "end-of-track-added"), (INVALID, None)] and
          lines[0]["notes"] == {"zero_length_created": 3, "lengthened": 3}, "dry run: %r" % stdout)
    code, stdout, _ = run("--report", *args, "-o", os.path.join(WORK, "notes-out.mid"), notes)
    check(code == 0 and "3 made zero ticks long, 3 lengthened" in stdout, "report: " + stdout)


def case_info():
    rows = [(None, 4, "120.0"), (16777215, 1, "3.5762789"), (8571428, 2, "7.000000467")]
    paths = [write("i%d.mid" % i, generate(i, n, 30, t, n - 1)) for i, (t, n, _) in enumerate(rows)]
    bad = write("bad.mid", b"MThd")
    code, stdout, stderr = run("--info", paths[0], bad, *paths[1:])
    check(code == 1 and [line for line in stdout.splitlines() if not line.startswith(" ")] == [
        "%s: %s BPM, format 1, division 480, %d track%s, %d events" % (
            path, text, n, "s" * (n > 1), n * 31 + (tempo is not None))
        for path, (tempo, n, text) in zip(paths, rows)] and stderr == "smftempo: %s: %s\n" % (
            bad, INVALID), "--info: %r %r" % (stdout, stderr))
    for n, (data, said) in enumerate([  # a tempo map, and what the plain conversion makes of it
            (smf(1, 96, [[(0, b"\x90\x3c\x40"), (192, EOT)], [(96, tempo_event(10**6)), (96, EOT)]]),
             "  tempo at tick 96: 60.0 BPM (1000000 us, track 1)\n  duration: 1.500000 s\n"
             "  plain conversion: refuses it (tempo changes: see --tempo-map)\n"),
            (smf(0, 96, [[(0, tempo_event(0)), (0, EOT)]]), "refuses it (a tempo of 0)\n"),
            (smf(0, 0, [[(0, tempo_event(500000)), (9, tempo_event(400000)), (9, EOT)]]),
             "  duration: 0.000000 s\n  plain conversion: refuses it (tempo changes)\n")]):
        code, stdout, _ = run("--info", write("v%d.mid" % n, data))
        check(code == 0 and stdout.endswith(said), "--info: " + stdout)
    code, stdout, _ = run("--info", "--json", os.path.join(WORK, "v0.mid"))
    check(code == 0 and json.loads(stdout)["tempo_map"] == [
        {"tick": 96, "tempo": 1000000, "bpm": 60.0, "track": 1}], "--info --json: " + stdout)


def chunks(data, at, little=False):
    out = []
    while at < len(data):
        size = struct.unpack("<I" if little else ">I", data[at + 4:at + 8])[0]
        out.append((data[at:at + 4], data[at + 8:at + 8 + size]))
        at += 8 + size + (size % 2 if little else 0)
    return out


def case_layout():
    """What the report says of the output's chunks is what --info reads back from it."""
    t = chunks(generate(31, 3, 150, 500000), 14)
    source = chunked(1, 480, [(b"Junk", b"\1\2\3"), t[0], t[1], (b"X \x7f\x1f", b""), t[2],
                              (b"XFIH", b"\t" * 5), (b"XFKM", b"\n" * 6)], b"\xab\xcd", 5)
    inner = chunked(1, 96, chunks(generate(32, 2, 40, 600000, 1, 96), 14) + [(b"XFIH", b"x")])
    rmid = b"".join(i + struct.pack("<I", len(d)) + d + b"\0" * (len(d) % 2) for i, d in [
        (b"LIST", b"INFOINAM\4\0\0\0SongICMT\7\0\0\0comment\0"), (b"data", inner),
        (b"DISP", b"\1\0\0\0x")])  # DISP odd: padded
    paths = {"smf": write("chunked.mid", source),
             "rmid": write("song.rmi", b"RIFF" + struct.pack("<I", len(rmid) + 4) + b"RMID" + rmid)}
    dropped = "1 chunk that is not a track (XFIH) is not written; --keep-chunks keeps it"
    layout = lambda o: [o[k] for k in ("container", "header_extra_bytes", "chunks", "riff_chunks")]
    for n, (name, args, ids, extra, notes) in enumerate([
            ("smf", "--keep-tracks --keep-chunks", ["Junk", "X \\x7F\\x1F", "XFIH", "XFKM"], 2, []),
            ("smf", "", [], 0,
             ["4 chunks that are not tracks (Junk, X \\x7F\\x1F, XFIH, XFKM) are not written; "
              "--keep-chunks keeps them",
              "the header chunk's extra bytes (2) are not written; --keep-chunks keeps them"]),
            ("rmid", "", [], 0, [dropped]), ("rmid", "--keep-chunks", ["XFIH"], 0, [])]):
        src, out, why = paths[name], os.path.join(WORK, "out%d" % n), name + " " + args
        code, stdout, stderr = run("--bpm", "90", *args.split(), "--json", "-o", out, src)
        if check(code == 0 and stderr == "".join("smftempo: %s: note: %s\n" % (src, m)
                                                 for m in notes), "%s: %r" % (why, stderr)):
            report, read = json.loads(stdout), json.loads(run("--info", "--json", out)[1])
            check(layout(read)[:2] == ["rmid" if name == "rmid" else "smf", extra] and
                  [c["id"] for c in read["chunks"]] == ids and layout(report["output"]) ==
                  layout(read) and read["riff_chunks"] == layout(report["source"])[3], why)
    stdout = run("--info", paths["smf"])[1] + run("--bpm", "75", "--report", "--dry-run",
                                                      paths["rmid"])[1]
    check([line for line in stdout.splitlines() if line.startswith(("  layout:", "  note:"))] == [
        "  layout: header extra bytes: 2; chunks besides the tracks: Junk 3 bytes, X \\x7F\\x1F 0 "
        "bytes, XFIH 5 bytes, XFKM 6 bytes",
        "  layout: RIFF RMID, other RIFF chunks LIST 32 bytes, DISP 5 bytes (kept); chunks besides "
        "the tracks: XFIH 1 byte (not written)", "  note: chunks-not-written: " + dropped],
        "as text:\n" + stdout)


def check_reading(src, plain, repaired, message=INVALID):
    """`src` without --repair and with it: the notes' ids, then the repairs' (None: refused, with a
    hint naming the repairs that would read it), each told on stderr. The outputs."""
    outputs = []
    for args, ids in (([], plain), (["--repair"], repaired)):
        out = os.path.join(WORK, "%s-%d.mid" % (os.path.basename(src), len(args)))
        code, stdout, stderr = run(*args, "--bpm", "97", "--json", "-o", out, src)
        got, what = json.loads(stdout), "%s %s: %d %r" % (src, args, code, stderr)
        if ids is None:
            hint = REPAIRABLE + ", ".join(repaired) if repaired and not args else None
            check(code == 1 and (got["message"], got.get("hint")) == (message, hint) and
                  stderr.endswith("smftempo: %s: %s\n" % (src, hint or message)), what)
            continue
        said = [("repaired", r) for r in got["repairs"]] + [("note", r) for r in got["file_notes"]]
        check(code == 0 and [r["id"] for r in got["repairs" if args else "file_notes"]] == ids and
              stderr == "".join("smftempo: %s: %s: %s\n" % (src, k, r["text"]) for k, r in said),
              what)
        outputs.append(open(out, "rb").read())
    return outputs


def case_repair():
    one, eot = lambda *events: smf(0, 96, [[(0, bytes.fromhex(e)) for e in events]]), "FF2F00"
    for i, (data, said, repairs) in enumerate([  # None: refused
            (one("E03C40", "FF0100", "3E40", eot), None, ["running-status-after-meta"]),
            (one(eot)[:11] + b"\0" + one(eot)[12:], None, ["track-count"]),  # the track not read
            (one(eot) + one(eot)[14:], ["track-chunks-ignored"], ["track-count"]),
            (bytes(128) + one(eot), ["macbinary"], [])]):
        check_reading(write("r%d.mid" % i, data), said, repairs)


def case_corpus():
    if not corpus():
        print("no corpus at", CORPUS)
        sys.exit(77)
    messages = {"invalid-smf": INVALID, "no-tracks": INVALID, "unsupported": UNSUPPORTED}
    said = {"corrupt-file-extra-byte": (["trailing-bytes-ignored"], ["trailing-bytes"]),
            "corrupt-file-missing-byte": (None, ["chunk-past-end", "incomplete-event-dropped",
                                                 "end-of-track-added"]),
            "non-midi-track": (None, ["track-count"]),
            "running-status-metaevent": (None, ["running-status-after-meta"]),
            "running-status-sysex": (None, ["running-status-after-sysex"])}
    for row in corpus():
        src, converts = os.path.join(CORPUS, row["file"]), row["expected"].startswith("convert")
        outputs = check_reading(src, *said.get(row["file"][17:-4], ([], []) if converts else (
            None, None)), messages.get(row["expected"].split(":")[-1], INVALID))
        if converts:
            check_mapped(src, os.path.join(WORK, row["file"] + "-0.mid"), 97.0)
        check(len(outputs) < 2 or outputs[0] == outputs[1], row["file"] + ": the same bytes")


def main(cases, skip):
    """Runs case argv[4] of `cases` in a fresh WORKDIR argv[2]; 77 when `skip` gives a reason."""
    global SMFTEMPO, WORK
    SMFTEMPO, WORK, case = sys.argv[1], sys.argv[2], sys.argv[4]
    locale.setlocale(locale.LC_MESSAGES, "")  # os.strerror as smftempo says it
    if reason := skip(case):
        print(reason)
        sys.exit(77)
    subprocess.run(["rm", "-rf", WORK])
    os.makedirs(WORK)
    cases["case_" + case]()
    print("%s: %s" % (case, "%d failures" % len(failures) if failures else "ok"))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    CORPUS = sys.argv[3]
    main(globals(), lambda case: "mido is not installed for " + sys.executable
         if mido is None and case not in ("help", "usage", "info") else None)
