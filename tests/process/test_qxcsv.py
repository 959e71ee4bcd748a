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


def limit_file_size(size):
    # Writes beyond the limit then fail with EFBIG instead of killing the process.
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))


def run(*args, user=None, stdin=b"", fsize=None):
    cmd = [QXCSV, *args]
    if user is not None:
        cmd = ["setpriv", "--reuid=%d" % user, "--regid=%d" % user, "--clear-groups", *cmd]
    p = subprocess.run(cmd, capture_output=True, timeout=60, input=stdin,
                       preexec_fn=fsize and (lambda: limit_file_size(fsize)))
    return p.returncode, p.stdout, p.stderr


class QxcsvTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qxcsv-")
        os.chmod(self.dir, 0o777)
        self.sample = os.path.join(ROOT, "samples", "products-1252.csv")

    def tearDown(self):
        for dirpath, dirnames, _ in os.walk(self.dir):
            for d in dirnames:
                os.chmod(os.path.join(dirpath, d), 0o777)
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def test_usage_errors_exit_2(self):
        cases = [
            [],
            ["frobnicate"],
            ["show"],
            ["get", "x.csv", "1"],
            ["get", "x.csv", "a", "0"],
            ["--log", "yaml", "show", "x.csv"],
            ["--charset"],
            ["--delimiter", "ab", "show", "x.csv"],
        ]
        for args in cases:
            with self.subTest(args=args):
                code, out, err = run(*args)
                self.assertEqual(code, 2)
                self.assertIn(b"usage: qxcsv", err)

    def test_help(self):
        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        for word in (b"show", b"get", b"set", b"convert", b"charsets", b"--log"):
            self.assertIn(word, out)

    def test_show_aligns_columns_with_header(self):
        code, out, err = run("show", "--header", "--charset", "windows-1252", self.sample)
        self.assertEqual(code, 0, err)
        lines = out.decode("utf-8").splitlines()
        self.assertTrue(lines[0].startswith("Product"))
        self.assertTrue(set(lines[1]) <= {"-", " "})
        self.assertIn("Crème brûlée", lines[3])
        # every row starts its second column at the same place
        col = lines[0].index("Origin")
        self.assertEqual(lines[2][col:col + 4], "Lyon")

    def test_get_and_missing_row(self):
        code, out, _ = run("get", "--header", "--charset", "windows-1252", self.sample, "0", "3")
        self.assertEqual((code, out), (0, "Served hot, with foam\n".encode()))
        code, out, err = run("get", "--charset", "windows-1252", self.sample, "99", "0")
        self.assertEqual(code, 1)
        self.assertEqual(out, b"")
        self.assertIn(b"row 99", err)

    def test_missing_file_reports_on_stderr(self):
        code, out, err = run("show", self.path("missing.csv"))
        self.assertEqual(code, 1)
        self.assertIn(b"Failed to open file", err)
        self.assertIn(b"WindowsError: 0x2", err)
        self.assertIn(b"Failed.", err)
        code, _, err = run("--log", "xml", "show", self.path("missing.csv"))
        self.assertEqual(code, 1)
        self.assertIn(b"<QuenlixLog>", err)

    def test_log_option_prints_the_report(self):
        for fmt, marker in (("text", b"LoadFile2:"), ("xml", b"<LoadFile2>"),
                            ("html", b"LoadFile2:<blockquote>")):
            with self.subTest(fmt=fmt):
                code, _, err = run("--log", fmt, "show", self.sample)
                self.assertEqual(code, 0)
                self.assertIn(marker, err)
                self.assertIn(b"Success.", err)

    def test_set_writes_a_new_file_and_keeps_the_charset(self):
        out = self.path("edited.csv")
        code, _, err = run("set", "--header", "--charset", "windows-1252", self.sample, "1", "2",
                           "7,25 €", "-o", out)
        self.assertEqual(code, 0, err)
        data = open(out, "rb").read()
        self.assertIn('Crème brûlée,Paris,"7,25 €",'.encode("cp1252"), data)
        self.assertEqual(open(self.sample, "rb").read()[:7], b"Product")
        self.assertEqual([n for n in os.listdir(self.dir) if "qxtmp" in n], [])

    def test_set_in_place_with_lf(self):
        f = self.write("t.csv", b"a,b\r\nc,d\r\n")
        code, _, err = run("set", "--lf", f, "1", "0", "x")
        self.assertEqual(code, 0, err)
        self.assertEqual(open(f, "rb").read(), b"a,b\nx,d\n")

    def test_convert_between_charsets(self):
        utf8 = self.path("u.csv")
        code, _, err = run("convert", self.sample, utf8, "--from", "windows-1252", "--to", "utf-8")
        self.assertEqual(code, 0, err)
        expected = open(self.sample, "rb").read().decode("cp1252").encode("utf-8")
        self.assertEqual(open(utf8, "rb").read(), expected)
        sjis = self.write("j.csv", "名前,値\r\n東京,1\r\n".encode("cp932"))
        out16 = self.path("j16.csv")
        code, _, err = run("convert", sjis, out16, "--from", "shift_jis", "--to", "utf-16be", "--lf")
        self.assertEqual(code, 0, err)
        self.assertEqual(open(out16, "rb").read(), "名前,値\n東京,1\n".encode("utf-16-be"))

    def test_delimiter_applies_after_the_load(self):
        f = self.write("tab.csv", b"a\tb\r\n")
        code, out, _ = run("get", "--delimiter", "tab", f, "0", "1")
        self.assertEqual((code, out), (0, b"b\n"))

    def test_no_partial_output_when_the_directory_is_read_only(self):
        ro = self.path("ro")
        os.mkdir(ro)
        target = os.path.join(ro, "out.csv")
        os.chmod(ro, stat.S_IRUSR | stat.S_IXUSR | stat.S_IRGRP | stat.S_IXGRP |
                 stat.S_IROTH | stat.S_IXOTH)
        src = self.write("in.csv", b"a,b\r\n")
        os.chmod(src, 0o644)
        # root ignores directory permissions; run as an unprivileged user then.
        user = 65534 if os.geteuid() == 0 else None
        if user is not None and shutil.which("setpriv") is None:
            self.fail("setpriv is needed to drop root privileges for this test")
        code, _, err = run("convert", src, target, "--to", "utf-16", user=user)
        self.assertEqual(code, 1)
        self.assertIn(b"Failed.", err)
        self.assertEqual(os.listdir(ro), [])

    def test_every_kind_of_output_is_kept(self):
        src = self.write("in.csv", "é,b\r\n".encode() * 20000)
        saved = "é,b\n".encode("cp1252") * 20000
        owner = 65534 if os.geteuid() == 0 else os.geteuid()  # root may give files away
        file, link, fifo, folder = ("file", 0o640), ("link", "real.csv"), ("fifo",), ("dir",)
        cases = [  # what is there, the output named, exit status, where the table lands, size limit
            ({"old.csv": file}, "old.csv", 0, "old.csv", None),
            ({"real.csv": file, "ln.csv": link}, "ln.csv", 0, "real.csv", None),
            ({"sub": folder, "ln.csv": ("link", "sub/new.csv")}, "ln.csv", 0, "sub/new.csv", None),
            ({"pipe": fifo}, "pipe", 0, "pipe", None),
            ({"out.csv": folder}, "out.csv", 1, None, None),
            ({}, "nowhere/out.csv", 1, None, None),
            ({"old.csv": file}, "old.csv", 1, None, 16384),  # the disk fills up midway
        ]
        for n, (there, named, status, lands, fsize) in enumerate(cases):
            with self.subTest(there=there, named=named, fsize=fsize):
                d = self.path("case%d" % n)
                os.mkdir(d)
                got = []
                for name, (kind, *arg) in there.items():
                    p = os.path.join(d, name)
                    if kind == "file":
                        pathlib.Path(p).write_bytes(b"old")
                        os.chmod(p, arg[0])
                        os.chown(p, owner, -1)
                    elif kind == "link":
                        os.symlink(arg[0], p)
                    elif kind == "dir":
                        os.mkdir(p)
                    else:
                        os.mkfifo(p)
                        reader = threading.Thread(
                            target=lambda p=p: got.append(pathlib.Path(p).read_bytes()),
                            daemon=True)
                        reader.start()
                code, _, err = run("convert", "--lf", src, os.path.join(d, named), "--to",
                                   "windows-1252", fsize=fsize)
                self.assertEqual(code, status, err)
                if lands == "pipe":
                    reader.join(30)
                    self.assertEqual(got, [saved])
                elif lands:
                    self.assertEqual(pathlib.Path(d, lands).read_bytes(), saved)
                for name, (kind, *arg) in there.items():
                    p = os.path.join(d, name)
                    mode = os.lstat(p).st_mode
                    is_kind = {"file": stat.S_ISREG, "link": stat.S_ISLNK, "dir": stat.S_ISDIR,
                               "fifo": stat.S_ISFIFO}[kind]
                    self.assertTrue(is_kind(mode), name)
                    if kind == "file":
                        self.assertEqual((stat.S_IMODE(mode), os.lstat(p).st_uid),
                                         (arg[0], owner))
                        if name != lands:
                            self.assertEqual(pathlib.Path(p).read_bytes(), b"old")
                    if kind == "link":
                        self.assertEqual(os.readlink(p), arg[0])
                made = {os.path.relpath(os.path.join(r, f), d) for r, ds, fs in os.walk(d)
                        for f in ds + fs}
                self.assertEqual(made, set(there) | ({lands} if lands else set()))

    def test_standard_input_and_output(self):
        sjis = "名前,値\r\n東京,1\r\n".encode("cp932")
        cases = [  # arguments, standard input, standard output
            (["convert", "-", "-", "--from", "shift_jis", "--lf"], sjis,
             "名前,値\n東京,1\n".encode()),
            (["set", "--lf", "-", "1", "1", "2"], b"\xef\xbb\xbfa,b\r\nc,d\r\n", b"a,b\nc,2\n"),
            (["convert", "-", "-", "--from", "utf-16", "--to", "shift_jis"],
             "名前,値\r\n".encode("utf-16"), "名前,値\r\n".encode("cp932")),
            (["convert", "-", "-", "--to", "utf-16be"], b"a\x00b,c\n", "a\r\n".encode("utf-16-be")),
            (["show", "-"], b"a,b\n", b"a  b\n"),
        ]
        for args, data, expected in cases:
            with self.subTest(args=args):
                code, out, err = run(*args, stdin=data)
                self.assertEqual((code, out), (0, expected), err)

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
        cases = [  # typed, canonical name, code page, conversion
            ("shift-jis", "shift_jis", "932", "table"),
            ("sjis", "shift_jis", "932", "table"),
            ("iso-2022-jp", "iso-2022-jp", "50220", "built in"),
            ("utf-7", "utf-7", "65000", "built in"),
            ("hz-gb-2312", "hz-gb-2312", "52936", "none"),
            ("ks-c-5601-1987", "ks_c_5601-1987", "949", "table"),
            ("asmo-449", "-", "709", "none"),
            ("iso-8859-8 visual", "iso-8859-8", "28598", "table"),
            ("ansi", "windows-1252", "1252", "table"),
            ("default", "-", "0", "none"),
        ]
        for typed, name, cp, conversion in cases:
            with self.subTest(typed=typed):
                self.assertEqual(selects[typed][:3], [name, cp, conversion])

if __name__ == "__main__":
    QXCSV = os.path.abspath(sys.argv[1])
    ROOT = os.path.abspath(sys.argv[2])
    sys.argv = sys.argv[:1]
    unittest.main(verbosity=1)
