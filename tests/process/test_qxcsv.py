#!/usr/bin/env python3
"""qxcsv as a user runs it: exit status, standard output, the report on standard error, and the
promise that a failed save never leaves a partial output file."""
import json
import os
import pathlib
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import unittest

QXCSV = None
ROOT = None
EMULATOR = []  # what runs the tool when this machine cannot (a 32-bit build under qemu-i386)


def read(path):
    return pathlib.Path(path).read_bytes()


def limit_file_size(size):
    # Writes beyond the limit then fail with EFBIG instead of killing the process.
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))


def run(*args, stdin=b"", fsize=None, stdin_file=None):
    """stdin comes through a pipe, or from stdin_file (a path it is written to first)."""
    if stdin_file is None:
        p = subprocess.run([*EMULATOR, QXCSV, *args], capture_output=True, timeout=60, input=stdin,
                           preexec_fn=fsize and (lambda: limit_file_size(fsize)))
        return p.returncode, p.stdout, p.stderr
    with open(stdin_file, "wb") as f:
        f.write(stdin)
    with open(stdin_file, "rb") as f:
        p = subprocess.run([*EMULATOR, QXCSV, *args], capture_output=True, timeout=60, stdin=f)
    return p.returncode, p.stdout, p.stderr


class QxcsvTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qxcsv-")
        self.sample = os.path.join(ROOT, "samples", "products-1252.csv")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def test_commands(self):
        s, cs, missing = self.sample, ["--charset", "windows-1252"], self.path("missing.csv")
        tab = self.write("tab.csv", b"a\tb\r\n")
        sjis = "名前,値\r\n東京,1\r\n".encode("cp932")
        sample, edited, j16 = read(s), self.path("edited.csv"), self.path("j16.csv")
        t, j = self.write("t.csv", b"a,b\r\nc,d\r\n"), self.write("j.csv", sjis)
        usage = [[], ["frobnicate"], ["show"], ["get", "x.csv", "1"], ["get", "x.csv", "a", "0"],
                 ["--log", "yaml", "show", "x.csv"], ["--charset"],
                 ["--delimiter", "ab", "show", "x.csv"]]
        cases = [(args, b"", 2, b"", [b"usage: qxcsv"]) for args in usage] + [
            # arguments, standard input, exit status, standard output (a list: words in it; a pair:
            # none, and a file with its contents), what standard error holds
            (["--help"], b"", 0, [b"show", b"get", b"set", b"convert", b"charsets", b"--log"], []),
            (["get", "--header", *cs, s, "0", "3"], b"", 0, b"Served hot, with foam\n", []),
            (["get", *cs, s, "99", "0"], b"", 1, b"", [b"row 99"]),
            (["get", "--delimiter", "tab", tab, "0", "1"], b"", 0, b"b\n", []),
            (["show", missing], b"", 1, b"",
             [b"Failed to open file", b"WindowsError: 0x2", b"Failed."]),
            (["--log", "xml", "show", missing], b"", 1, b"", [b"<QuenlixLog>", b"Failed."]),
            (["--log", "text", "show", *cs, s], b"", 0, ["Crème brûlée".encode()],
             [b"LoadFile2:", b"Success."]),
            (["--log", "html", "show", s], b"", 0, [], [b"LoadFile2:<blockquote>", b"Success."]),
            (["convert", "-", "-", "--from", "shift_jis", "--lf"], sjis, 0,
             "名前,値\n東京,1\n".encode(), []),
            (["set", "--lf", "-", "1", "1", "2"], b"\xef\xbb\xbfa,b\r\nc,d\r\n", 0, b"a,b\nc,2\n",
             []),
            (["convert", "-", "-", "--to", "utf-16be"], b"a\x00b,c\n", 0,
             "a\r\n".encode("utf-16-be"), []),
            # longer than the first room made for standard input, so that it grows
            (["get", "-", "39999", "1"], b"".join(b"r%d,%d\n" % (i, i * 7) for i in range(40000)), 0,
             b"279993\n", []),
            # set saves in the charset it read, over the input file or to another
            (["set", "--header", *cs, s, "1", "2", "7,25 €", "-o", edited], b"", 0,
             (edited, sample.replace(b"Paris,6.20,", 'Paris,"7,25 €",'.encode("cp1252"))), []),
            (["set", "--lf", t, "1", "0", "x"], b"", 0, (t, b"a,b\nx,d\n"), []),
            (["convert", j, j16, "--from", "shift_jis", "--to", "utf-16be", "--lf"], b"", 0,
             (j16, "名前,値\n東京,1\n".encode("utf-16-be")), []),
            # columns aligned for the terminal: wide, combining, line breaks shown
            (["show", "--header", "-"], "City,N\n東京都,1\nCafe\u0301,2\n\"a\nb\",3\n".encode(), 0,
             "City    N\n------  -\n東京都  1\nCafe\u0301    2\na\\nb    3\n".encode(), []),
        ]
        # Standard input comes through a pipe, and from a file (read at its known size) where a
        # case reads it.
        runs = [(c, None) for c in cases] + [(c, self.path("in.bin")) for c in cases if c[1]]
        for (args, data, status, out, err_holds), stdin_file in runs:
            with self.subTest(args=args, stdin_file=stdin_file):
                code, got, err = run(*args, stdin=data, stdin_file=stdin_file)
                self.assertEqual(code, status, err)
                if isinstance(out, tuple):
                    self.assertEqual((got, read(out[0])), (b"", out[1]))
                elif isinstance(out, bytes):
                    self.assertEqual(got, out)
                for part in out if isinstance(out, list) else []:
                    self.assertIn(part, got)
                for part in err_holds:
                    self.assertIn(part, err)
        self.assertEqual(read(s), sample)
        self.assertEqual([n for n in os.listdir(self.dir) if "qxtmp" in n], [])

    def test_every_kind_of_output_is_kept(self):
        src = self.write("in.csv", "é,b\r\n".encode() * 20000)
        saved = "é,b\n".encode("cp1252") * 20000
        owner = 65534 if os.geteuid() == 0 else os.geteuid()  # root may give files away
        file, link, fifo, folder = ("file", 0o640), ("link", "real.csv"), ("fifo",), ("dir",)
        is_kind = {"file": stat.S_ISREG, "link": stat.S_ISLNK, "dir": stat.S_ISDIR,
                   "fifo": stat.S_ISFIFO}
        cases = [  # what is there, the output named, exit status, where the table lands, size limit
            ({"old.csv": file}, "old.csv", 0, "old.csv", None),
            ({"real.csv": file, "ln.csv": link}, "ln.csv", 0, "real.csv", None),
            ({"sub": folder, "ln.csv": ("link", "sub/new.csv")}, "ln.csv", 0, "sub/new.csv", None),
            ({"pipe": fifo}, "pipe", 0, "pipe", None),
            ({"out.csv": folder}, "out.csv", 1, None, None),
            ({"old.csv": file}, "old.csv", 1, None, 16384),  # the disk fills up midway
        ]
        for n, (there, named, status, lands, fsize) in enumerate(cases):
            with self.subTest(there=there, named=named, fsize=fsize):
                d = pathlib.Path(self.path("case%d" % n))
                d.mkdir()
                got = []
                for name, (kind, *arg) in there.items():
                    p = d / name
                    if kind == "file":
                        p.write_bytes(b"old")
                        os.chmod(p, arg[0])
                        os.chown(p, owner, -1)
                    elif kind == "link":
                        p.symlink_to(arg[0])
                    elif kind == "dir":
                        p.mkdir()
                    else:
                        os.mkfifo(p)
                        reader = threading.Thread(target=lambda p=p: got.append(p.read_bytes()),
                                                  daemon=True)
                        reader.start()
                code, _, err = run("convert", "--lf", src, str(d / named), "--to", "windows-1252",
                                   fsize=fsize)
                self.assertEqual(code, status, err)
                if lands == "pipe":
                    reader.join(30)
                    self.assertEqual(got, [saved])
                elif lands:
                    self.assertEqual((d / lands).read_bytes(), saved)
                for name, (kind, *arg) in there.items():
                    st = os.lstat(d / name)
                    self.assertTrue(is_kind[kind](st.st_mode), name)
                    if kind == "file":  # replaced with mode and owner kept, or left alone
                        self.assertEqual((stat.S_IMODE(st.st_mode), st.st_uid), (arg[0], owner))
                        self.assertEqual((d / name).read_bytes(),
                                         saved if name == lands else b"old")
                    if kind == "link":
                        self.assertEqual(os.readlink(d / name), arg[0])
                made = {str(p.relative_to(d)) for p in d.rglob("*")}
                self.assertEqual(made, set(there) | ({lands} if lands else set()))

    def test_charsets_lists_every_name_with_its_code_page(self):
        code, out, _ = run("charsets")
        self.assertEqual(code, 0)
        rows = [l.split("\t") for l in out.decode().splitlines()[1:]]
        code, listed, _ = run("charsets", "--json")
        self.assertEqual(code, 0)
        self.assertEqual([[r["name"] or "-", str(r["codePage"]), r["conversion"],
                           ", ".join(r["aliases"])] for r in json.loads(listed)], rows)
        names = [(a, r) for r in rows for a in r[3].split(", ") if a]
        selects = dict(names)
        self.assertEqual(len(selects), len(names))  # each name selects one code page
        self.assertGreaterEqual(len(selects), 416)
        table = pathlib.Path(ROOT, "tests", "process", "data", "charsets.txt").read_text()
        cases = [l.split("\t") for l in table.splitlines() if l and not l.startswith("#")]
        self.assertEqual(len(cases), 10)
        for typed, *want in cases:
            with self.subTest(typed=typed):
                self.assertEqual(selects[typed][:3], want)


if __name__ == "__main__":
    QXCSV = os.path.abspath(sys.argv[1])
    ROOT = os.path.abspath(sys.argv[2])
    EMULATOR = sys.argv[3:]
    sys.argv = sys.argv[:1]
    unittest.main(verbosity=1)
