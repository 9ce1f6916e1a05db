#!/usr/bin/env python3
"""smftempo's languages and Unix habits: habits_test.py SMFTEMPO WORKDIR LOCALEDIR CASE, run in
ja_JP.UTF-8 (CMake sets it); 77 when the case cannot run here."""

import errno, gettext, os, pty, re, sys

import cli_test as kit
from cli_test import EOT, check, run, tempo_event, write

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def smf(notes=3, *more):  # 120 BPM, `more` (tick, event) after the notes
    events = [(96 * i, b"\x90\x3c\x40") for i in range(notes)] + list(more)
    return kit.smf(0, 96, [[(0, tempo_event(500000)), *events, (events[-1][0], EOT)]])


def converted(src, bpm="100"):  # the bytes of a plain conversion to a file
    ref = os.path.join(kit.WORK, "ref.mid")
    check(run("--force", "--bpm", bpm, "-o", ref, src)[0] == 0, "reference " + src)
    with open(ref, "rb") as f:
        return f.read()


def case_language():
    bad, good = write("bad.mid", b"junk"), write("good.mid", smf())
    mapped = write("map.mid", smf(3, (208, tempo_event(200000))))  # a tempo map
    rows = [(("-o", bad, good), bad + ": The output file exists already. Give --force to replace it.",
             bad + ": 出力ファイルが既に存在します。置き換えるには --force を指定してください。"),
            (("--bpm", "0.5", "-o", "x.mid", good), "--bpm: The new tempo is too small. Give a "
             "value of 1 or more.", "--bpm: 変換後のテンポが小さすぎます。1以上の値を指定してください。"),
            (("--dry-run", mapped), mapped + ": Unsupported SMF format.\nsmftempo: %s: An SMF with a"
             " tempo map (several tempo events, or a tempo event after tick 0) can be converted with"
             " --tempo-map flatten or --tempo-map scale." % mapped, None)]
    for args, english, japanese in rows:
        for lang, text in (("C", english), ("ja_JP.UTF-8", japanese)):
            code, _, stderr = run("--bpm", "100", *args, lang=lang)
            check(code in (1, 2) and stderr == "smftempo: %s\n" % text or text is None,
                  "%s %s: %r" % (lang, args, stderr))
    check(run("--help", lang="C")[1] == run("--help")[1], "--help is English everywhere")
    # Each shared text's English msgid translates to the dialogs' text, byte for byte.
    def literals(text):
        return "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', text))
    with open(os.path.join(ROOT, "app", "Texts.h"), encoding="utf-8") as f:
        core = {m[0]: literals(m[1]) for m in re.findall(
            r'#define (TT_TEXT_\w+)((?:\s*\\?\s*"(?:[^"\\]|\\.)*")+)', f.read())}
    with open(os.path.join(ROOT, "app", "cli", "Locale.cpp"), encoding="utf-8") as f:
        table = re.findall(r'\{(TT_TEXT_\w+),\s*TR_NOOP\(((?:\s*"(?:[^"\\]|\\.)*")+)\)', f.read())
    ja = gettext.translation("smftempo", LOCALEDIR, ["ja"])
    check(len(table) >= 12, "the table of shared texts: %d rows" % len(table))
    for name, msgid in table:
        check(ja.gettext(literals(msgid)) == core[name], "ja.po for %s" % name)


def case_streams():
    src, out = write("a.mid", data := smf(5)), os.path.join(kit.WORK, "out.mid")
    want = converted(src)
    rows = [(("-o", "-", "-"), data, 0, want, ""), (("-o", "-", src), b"", 0, want, ""),
            (("-o", out, "-"), data, 0, b"", ""),
            (("-o", "-", "-"), b"junk", 1, b"", "smftempo: -: 有効な SMF ではありません。\n")]
    for args, stdin, status, stdout, stderr in rows:
        got = run("--bpm", "100", *args, stdin=stdin, binary=True)
        check(got == (status, stdout, stderr), "%s: %r" % (args, got[::2]))
    check(open(out, "rb").read() == want, "- to a file")
    code, stdout, _ = run("--info", "-", stdin=data)
    check(code == 0 and stdout.startswith("-: 120.0 BPM, format 0"), "--info -: %r" % stdout)
    for args in (("-o", "-", src, src), ("--out-dir", "-", src), ("--out-dir", kit.WORK, "-"),
                 ("-r", "-o", out, src), ("--report", "-o", "-", src), ("--json", "-o", "-", src)):
        code, stdout, stderr = run("--bpm", "100", *args)
        check(code == 2 and stdout == "" and "usage:" in stderr, "%s: %d %r" % (args, code, stderr))


def case_folders():
    songs, flat, tree = (os.path.join(kit.WORK, f) for f in ("songs", "flat", "songs/out"))
    for name in ("a.mid", "B.MID", "sub/c.Kar", "sub/deep/d.midi", "sub/e.rmi", "out/old.mid"):
        write("songs/" + name, smf(len(name)))
    write("songs/notes.txt", b"not a song")
    os.symlink("..", os.path.join(songs, "sub", "deep", "up"))  # a loop: skipped
    os.makedirs(flat)  # and the output folder of -r in the tree: not converted
    rows = [(("--out-dir", flat, songs), flat, {"a.mid", "B.MID"}),
            (("-r", "--out-dir", tree, songs), tree,
             {"old.mid", "a.mid", "B.MID", "sub/c.Kar", "sub/deep/d.midi", "sub/e.rmi"})]
    for args, folder, outputs in rows:
        code, _, stderr = run("--bpm", "90", *args)
        found = {os.path.relpath(os.path.join(d, f), folder) for d, _, fs in os.walk(folder)
                 for f in fs}
        check(code == 0 and found == outputs, "%s: %d %r %r" % (args, code, found, stderr))
        for name in outputs - {"old.mid"}:
            check(open(os.path.join(folder, name), "rb").read() ==
                  converted(os.path.join(songs, name), "90"), "%s: %s" % (args, name))
    code, _, stderr = run("--bpm", "90", "-r", "--out-dir", tree, songs)
    check(code == 1 and stderr.count("--force") == 5, "existing outputs: %d %r" % (code, stderr))


def case_batch():
    good, bad = write("good.mid", smf()), write("bad.mid", b"junk")
    noted = write("noted.mid", smf() + b"\x00\x00")  # trailing bytes: a note
    missing, out = os.path.join(kit.WORK, "missing.mid"), os.path.join(kit.WORK, "out")
    os.makedirs(out)
    args = ("--force", "--bpm", "100", "--out-dir", out, good, bad, missing, noted)
    quiet = "smftempo: %s: 有効な SMF ではありません。\nsmftempo: %s: %s\n" % (
        bad, missing, os.strerror(errno.ENOENT))
    check(run("-q", *args)[::2] == (1, quiet), "quiet: %r" % (run("-q", *args),))
    code, _, stderr = run(*args, lang="C")  # the Japanese summary: cli_test.py's batch
    check(code == 1 and ": note: " in stderr and stderr.endswith(
        "\nsmftempo: 2 converted, 1 refused, 1 failed\n"), "C: %d %r" % (code, stderr))
    check(run("--bpm", "100", "--force", "-o", good + ".out", good)[2] == "", "one file: no summary")
    master, slave = pty.openpty()  # a terminal: progress by file count
    run("--force", "--bpm", "100", "--out-dir", out, good, good + ".out", stderr=slave)
    os.close(slave)
    shown = os.read(master, 4096).decode()
    check("\rsmftempo: 1/2: " in shown.replace("\x1b[K", "") and "2/2" in shown, "progress %r" % shown)


if __name__ == "__main__":
    LOCALEDIR = sys.argv[3]
    kit.main(globals(), lambda case: None if os.path.isfile(os.path.join(
        LOCALEDIR, "ja", "LC_MESSAGES", "smftempo.mo")) else "no compiled catalog (msgfmt missing)")
