#!/usr/bin/env python3
"""smftempo's languages and Unix habits: habits_test.py SMFTEMPO WORKDIR LOCALEDIR CASE, run in
ja_JP.UTF-8 (CMake sets it); 77 when the case cannot run here."""

import errno, gettext, locale, os, pty, re, struct, subprocess, sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


def run(*args, stdin=b"", lang=None, stderr=subprocess.PIPE):
    env = dict(os.environ, **({"LC_ALL": lang} if lang else {}))
    done = subprocess.run([SMFTEMPO, *args], input=stdin, stdout=subprocess.PIPE, stderr=stderr,
                          env=env, timeout=60)
    return done.returncode, done.stdout, (done.stderr or b"").decode()


def smf(notes=3, more=b""):  # 120 BPM, `more` events before the end of track
    body = b"\x00\xff\x51\x03\x07\xa1\x20" + b"\x00\x90\x3c\x40\x60\x80\x3c\x40" * notes + more
    return (b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"MTrk" + struct.pack(">I", len(body) + 4)
            + body + b"\x00\xff\x2f\x00")


def write(name, data):
    path = os.path.join(WORK, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


def converted(src, bpm="100"):  # the bytes of a plain conversion to a file
    check(run("--force", "--bpm", bpm, "-o", WORK + "/ref.mid", src)[0] == 0, "reference " + src)
    with open(WORK + "/ref.mid", "rb") as f:
        return f.read()


def case_language():
    bad, good = write("bad.mid", b"junk"), write("good.mid", smf())
    mapped = write("map.mid", smf(more=b"\x10\xff\x51\x03\x03\x0d\x40"))  # a tempo map
    rows = [(("-o", "new.mid", bad), bad + ": Not a valid SMF.", bad + ": 有効な SMF ではありません。"),
            (("-o", bad, good), bad + ": The output file exists already. Give --force to replace it.",
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
    src, out = write("a.mid", data := smf(5)), os.path.join(WORK, "out.mid")
    want = converted(src)
    rows = [(("-o", "-", "-"), data, 0, want, ""), (("-o", "-", src), b"", 0, want, ""),
            (("-o", out, "-"), data, 0, b"", ""),
            (("-o", "-", "-"), b"junk", 1, b"", "smftempo: -: 有効な SMF ではありません。\n")]
    for args, stdin, status, stdout, stderr in rows:
        got = run("--bpm", "100", *args, stdin=stdin)
        check(got == (status, stdout, stderr), "%s: %r" % (args, got[::2]))
    check(open(out, "rb").read() == want, "- to a file")
    code, stdout, _ = run("--info", "-", stdin=data)
    check(code == 0 and stdout.startswith(b"-: 120.0 BPM, format 0"), "--info -: %r" % stdout)
    for args in (("-o", "-", src, src), ("--out-dir", "-", src), ("--out-dir", WORK, "-"),
                 ("-r", "-o", out, src), ("--report", "-o", "-", src), ("--json", "-o", "-", src)):
        code, stdout, stderr = run("--bpm", "100", *args)
        check(code == 2 and stdout == b"" and "usage:" in stderr, "%s: %d %r" % (args, code, stderr))


def case_folders():
    songs, flat, tree = (os.path.join(WORK, f) for f in ("songs", "flat", "songs/out"))
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
    # --force replaces what was there, never what this run wrote: the later twin is refused.
    twin = write("twin/d.midi", smf(9))
    code, _, stderr = run("--force", "--bpm", "90", "--out-dir", flat, songs + "/sub/deep", twin)
    check(code == 1 and "この実行で先に別の入力から書き込んだ" in stderr, "twins: %d %r" % (code, stderr))


def case_batch():
    good, bad = write("good.mid", smf()), write("bad.mid", b"junk")
    noted = write("noted.mid", smf() + b"\x00\x00")  # trailing bytes: a note
    missing, out = os.path.join(WORK, "missing.mid"), os.path.join(WORK, "out")
    os.makedirs(out)
    args = ("--force", "--bpm", "100", "--out-dir", out, good, bad, missing, noted)
    quiet = "smftempo: %s: 有効な SMF ではありません。\nsmftempo: %s: %s\n" % (
        bad, missing, os.strerror(errno.ENOENT))
    check(run("-q", *args)[::2] == (1, quiet), "quiet: %r" % (run("-q", *args),))
    for lang, summary in (("C", "2 converted, 1 refused, 1 failed"),
                          ("ja_JP.UTF-8", "変換 2 件、拒否 1 件、失敗 1 件")):
        code, _, stderr = run(*args, lang=lang)
        check(code == 1 and ": note: " in stderr and stderr.endswith("\nsmftempo: %s\n" % summary),
              "%s: %d %r" % (lang, code, stderr))
    check(run("--bpm", "100", "--force", "-o", good + ".out", good)[2] == "", "one file: no summary")
    master, slave = pty.openpty()  # a terminal: progress by file count
    run("--force", "--bpm", "100", "--out-dir", out, good, good + ".out", stderr=slave)
    os.close(slave)
    shown = os.read(master, 4096).decode()
    check("\rsmftempo: 1/2: " in shown.replace("\x1b[K", "") and "2/2" in shown, "progress %r" % shown)


if __name__ == "__main__":
    SMFTEMPO, WORK, LOCALEDIR, CASE = sys.argv[1:5]
    locale.setlocale(locale.LC_MESSAGES, "")  # os.strerror as smftempo says it
    if not os.path.isfile(os.path.join(LOCALEDIR, "ja", "LC_MESSAGES", "smftempo.mo")):
        print("no compiled catalog (msgfmt missing): smftempo speaks English only")
        sys.exit(77)
    subprocess.run(["rm", "-rf", WORK])
    os.makedirs(WORK)
    globals()["case_" + CASE]()
    print("%s: %s" % (CASE, "%d failures" % len(failures) if failures else "ok"))
    sys.exit(1 if failures else 0)
