#!/usr/bin/env python3
"""Generates the built-in code-page tables and the expected mappings that test them.

    python3 tools/gen_codepages/gen_codepages.py            # regenerate the committed files
    python3 tools/gen_codepages/gen_codepages.py --check    # regenerate into a scratch folder
                                                            # and compare with the committed files
    --dump-dir DIR   reuse platform dumps made earlier by dump_cp.exe (cpNNNN.txt files)

Outputs (all deterministic; building and testing never run this script):
  src/encoding/tables/CodePageTableTexts.inc     one embedded table text per table
  tests/encoding/tables/data/cpNNNN.txt[.bz2]   the expected mapping of each code page

Where the mappings come from
  * 62 code pages (and 10001, used only to make its patch) are read from the platform's own
    conversion functions: dump_cp.c, cross-compiled with x86_64-w64-mingw32-gcc-posix and run
    under 64-bit Wine (which every machine can run) with scripts/wine-run.sh, calls
    MultiByteToWideChar (MB_ERR_INVALID_CHARS, byte by byte and pair by pair over the lead-byte
    ranges of GetCPInfo) and WideCharToMultiByte (WC_NO_BEST_FIT_CHARS) for every character.
    The strict forward call refuses private-use results, so the private-use assignments are
    taken from the reverse call.
  * The others are read from glibc's iconv (through ctypes), each from the IBM, ISO or national
    standard that the code page implements; the differences applied to reach the platform's
    mapping are written next to each source in SOURCES below.
  * The telling rows (ADJUSTMENTS) are applied to every source; they win wherever they differ.

Table layout (see src/encoding/tables/TableStore.cpp for the reader)
  text:  "c" + base64(tag 0xB394A7E1 LE, uncompressed size LE, bzip2 stream), or "x" + base64(data)
  data:  "a" or "x" (ASCII pass-through), "u", single-byte entries (byte delta u8, unit delta
         u16 LE) ended by 0, double-byte entries (code delta u16 LE, unit delta u16 LE) ended by 0;
         a patch is "a" "d", keys to remove, single-byte and double-byte replacements.

Mapping rules
  * Byte 0 and U+0000 are left out: the converters handle them without a table. A source that
    maps a byte to U+0000 leaves that byte unmapped.
  * Double-byte tables hold one code per character: where several codes map to one character,
    the code that the reverse conversion gives is kept and the others are dropped ("D" lines of
    the expected mapping).
  * Single-byte tables keep every byte; the byte that the reverse conversion gives for a repeated
    character comes first in the stream, so that the reverse table finds it first.
  * Entries that serve one direction only ("W": reverse only) come after the two-way entries, so
    the forward table always finds the two-way entry of a code first.

Expected-mapping files (tests/encoding/tables/data): one line per entry, hex,
  M code unit   maps both ways
  F code unit   byte to unit only (another byte holds the unit in the reverse direction)
  D code unit   the source maps it, the table drops it (a repeat; another code holds the unit)
  W code unit   unit to code only
and a header "cp N", "kind single|double", "ascii 0|1", "source ...". With ascii 1, bytes 0x01
to 0x7F and units U+0001 to U+007F map to themselves and are not listed; everything else that is
not listed is unmapped.
"""

import argparse
import base64
import bz2
import ctypes
import ctypes.util
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
INC_PATH = os.path.join(ROOT, "src", "encoding", "tables", "CodePageTableTexts.inc")
DATA_DIR = os.path.join(ROOT, "tests", "encoding", "tables", "data")
BZ2_LEVEL = 9
TAG = 0xB394A7E1


class GenError(Exception):
    pass


def fail(msg):
    raise GenError(msg)


# ---- the code pages ----------------------------------------------------------------------------

ASCII_SINGLE = [437, 708, 720, 737, 775, 850, 852, 855, 857, 858, 860, 861, 862, 863, 864, 865,
                866, 869, 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258, 10000, 10004,
                10005, 10006, 10007, 10010, 10017, 10029, 10079, 10081, 10082, 20127, 20261, 20269,
                20866, 21866, 28591, 28592, 28593, 28594, 28595, 28596, 28597, 28598, 28599, 28603,
                28605, 38598]
OTHER_SINGLE = [37, 500, 870, 875, 1026, 1047, 1140, 1141, 1142, 1143, 1144, 1145, 1146, 1147,
                1148, 1149, 10021, 20105, 20106, 20107, 20108, 20273, 20277, 20278, 20280, 20284,
                20285, 20290, 20297, 20420, 20423, 20424, 20838, 20871, 20880, 20905, 20924, 21025]
DOUBLE = [932, 936, 949, 950, 1361, 10001, 51932, 51936, 51949]
ALL_CODE_PAGES = sorted(ASCII_SINGLE + OTHER_SINGLE + DOUBLE)
assert len(ALL_CODE_PAGES) == 103 and len(set(ALL_CODE_PAGES)) == 103

# Code pages read from the platform dump (dump_cp.c under Wine).
PLATFORM = [37, 437, 500, 708, 720, 737, 775, 850, 852, 855, 857, 860, 861, 862, 863, 864, 865,
            866, 869, 874, 875, 932, 936, 949, 950, 1026, 1250, 1251, 1252, 1253, 1254, 1255,
            1256, 1257, 1258, 1361, 10000, 10001, 10004, 10005, 10006, 10007, 10010, 10017, 10021,
            10029, 10079, 10081, 10082, 20127, 20866, 21866, 28591, 28592, 28593, 28594, 28595,
            28596, 28597, 28598, 28599, 28603, 28605]

# Code pages read from glibc's iconv: (charset, what was changed to reach the platform mapping).
# The EBCDIC sets of glibc agree with the platform byte for byte where both exist (37 and 500
# were compared: no difference), so they are taken as they are.
ICONV = {
    858: ("IBM858", "none: 850 with the euro sign at 0xD5"),
    870: ("IBM870", "none"),
    1047: ("IBM1047", "none"),
    1140: ("IBM1140", "none"), 1141: ("IBM1141", "none"), 1142: ("IBM1142", "none"),
    1143: ("IBM1143", "none"), 1144: ("IBM1144", "none"), 1145: ("IBM1145", "none"),
    1146: ("IBM1146", "none"), 1147: ("IBM1147", "none"), 1148: ("IBM1148", "none"),
    1149: ("IBM1149", "none"),
    20105: ("ISO_646.IRV:1991",
            "IA5 international reference version of 1983: 0x24 is U+00A4 and 0x7E is U+203E"),
    20106: ("DIN_66003", "none"),
    20107: ("SEN_850200_B", "none"),
    20108: ("NS_4551-1", "none"),
    20261: ("T.61-8BIT", "the non-spacing diacritic bytes 0xC1-0xCF map to combining marks"),
    20269: ("ISO_6937", "the non-spacing diacritic bytes 0xC1-0xCF map to combining marks"),
    20273: ("IBM273", "none"), 20277: ("IBM277", "none"), 20278: ("IBM278", "none"),
    20280: ("IBM280", "none"), 20284: ("IBM284", "none"), 20285: ("IBM285", "none"),
    20290: ("IBM290", "none"), 20297: ("IBM297", "none"), 20420: ("IBM420", "none"),
    20423: ("IBM423", "none"), 20424: ("IBM424", "none"),
    20838: ("IBM1160", "IBM-Thai is IBM1160 without the euro sign: 0xFE is unmapped"),
    20871: ("IBM871", "none"), 20880: ("IBM880", "none"), 20905: ("IBM905", "none"),
    20924: ("IBM1047", "Latin-9 repertoire: the eight Latin-1 characters that ISO 8859-15 "
                       "replaces are replaced at their positions"),
    21025: ("IBM1025", "none"),
    38598: ("ISO-8859-8", "same table as 28598: its private-use assignments for the unassigned "
                          "bytes, 0xAF is U+203E, 0xFD and 0xFE are private-use"),
}

# Derived code pages.
#   10001: the Shift_JIS table with a patch; the patch is what turns the Shift_JIS reverse table
#          into the platform's Mac Japanese reverse table (dumped from 10001).
#   51936: shares the 936 table.
#   51949: the double-byte part of 949 inside the EUC range (lead and trail 0xA1-0xFE) with the
#          single-byte entries of 949; glibc's EUC-KR is used to check it (differences listed
#          when the generator runs with --verbose).
#   51932: glibc's EUC-JP-MS, two-byte part (JIS X 0208, the row-13 symbols, the user-defined
#          rows 85 to 94 and the 0x8E half-width katakana), its reverse-only entries, and the
#          seven single-byte entries that 932 holds below 0xA1 and above 0xFC.

# Telling rows: (code page, what, code, unit). "to" maps both ways, "with" adds a reverse-only
# entry, "none" makes a byte unmapped. They win over every source.
ADJUSTMENTS = [
    *[(cp, "to", 0x80, 0x20AC) for cp in (28591, 28592, 28593, 28594, 28595, 28596, 28598, 28599)],
    (28597, "none", 0x80, None),
    (28603, "to", 0x80, 0x0080),
    (28605, "to", 0x80, 0x0080),
    *[(20127, "none", b, None) for b in range(0x80, 0x100)],
    (20127, "with", 0x20, 0x00A0),
    (932, "to", 0x80, 0x0080), (932, "with", 0x20, 0x00A0), (932, "with", 0x5C, 0x00A5),
    (932, "to", 0xA0, 0xF8F0), (932, "to", 0xFD, 0xF8F1), (932, "to", 0xFE, 0xF8F2),
    (932, "to", 0xFF, 0xF8F3),
    *[(932, "to", b, 0xFF61 + b - 0xA1) for b in range(0xA1, 0xE0)],
    (51932, "to", 0x80, 0x0080), (51932, "with", 0x20, 0x00A0), (51932, "with", 0x5C, 0x00A5),
    (51932, "to", 0xA0, 0xF8F0), (51932, "to", 0xFD, 0xF8F1), (51932, "to", 0xFE, 0xF8F2),
    (51932, "to", 0xFF, 0xF8F3),
    (936, "with", 0x20, 0x00A0), (936, "to", 0x80, 0x20AC), (936, "to", 0xFF, 0xF8F5),
    (936, "to", 0xAAA1, 0xE000),
    (10000, "to", 0xBD, 0x2126),
    # 10004: its right-to-left punctuation bytes from 0xA0 map to private-use values from U+F827
    # in the source already (checked in check_telling_rows).
    (1361, "to", 0x8841, 0x1100),
    # The won sign goes out as the backslash byte that carries it in Korean fonts; the platform's
    # own reverse conversion does the same (as a best-fit mapping).
    (949, "with", 0x5C, 0x20A9), (51949, "with", 0x5C, 0x20A9), (1361, "with", 0x5C, 0x20A9),
    # The no-break space goes out as a blank, as in 932 and 936.
    (950, "with", 0x20, 0x00A0),
]

# Entry counts that the double-byte tables must reach: (single-byte entries, double-byte entries).
COUNTS = {932: (70, 9206), 936: (3, 23940), 51936: (3, 23940), 949: (3, 17236), 950: (3, 19710),
          51949: (3, 8414), 1361: (16, 17252)}
# 51932 should reach 7 and 9269 (over 8803 codes); the sources here give fewer, see the report.
COUNTS_NOT_REACHED = {51932: (7, 9269)}


# ---- sources -----------------------------------------------------------------------------------

class Mapping:
    """fwd: code -> unit; rev: unit -> code (the code the reverse conversion gives);
    extra: reverse-only (code, unit) pairs. Codes below 0x100 are single bytes, others are
    double-byte codes with the lead byte in the high half."""

    def __init__(self, source):
        self.source = source
        self.fwd = {}
        self.rev = {}
        self.extra = []


HEX = re.compile(r"^[0-9A-F]+$")


def parse_hex(s, lengths, where):
    if not HEX.match(s) or len(s) not in lengths:
        fail("%s: bad hex field %r" % (where, s))
    return int(s, 16)


def read_platform_dump(path, cp):
    m = Mapping("platform tables (dump_cp.c)")
    with open(path, "r", encoding="ascii") as f:
        lines = f.read().split("\n")
    if lines[-1] == "":
        lines.pop()
    header = lines[0].split()
    if len(header) < 5 or header[0] != "CP" or header[1] != str(cp) or header[2] != "MAX" \
            or header[4] != "LEAD":
        fail("%s: bad header %r" % (path, lines[0]))
    max_size = int(header[3])
    lead = set()
    for r in header[5:]:
        mo = re.match(r"^([0-9A-F]{2})-([0-9A-F]{2})$", r)
        if not mo:
            fail("%s: bad lead range %r" % (path, r))
        lead.update(range(int(mo.group(1), 16), int(mo.group(2), 16) + 1))
    if (max_size == 1) != (cp not in DOUBLE) and cp != 10001:
        fail("%s: maximum size %d does not fit the kind of %d" % (path, max_size, cp))
    rev_all = {}
    for n, line in enumerate(lines[1:], 2):
        where = "%s:%d" % (path, n)
        p = line.split(" ")
        if p[0] == "F" and len(p) == 3:
            code = parse_hex(p[1], (2, 4), where)
            unit = parse_hex(p[2], (4,), where)
            if len(p[1]) == 4 and (code >> 8) not in lead:
                fail("%s: pair without a lead byte" % where)
            if code in m.fwd:
                fail("%s: code listed twice" % where)
            m.fwd[code] = unit
        elif p[0] in ("R", "B") and len(p) == 3:
            unit = parse_hex(p[1], (4,), where)
            code = parse_hex(p[2], (2, 4), where)
            if p[0] == "R":
                rev_all[unit] = code
        else:
            fail("%s: unexpected line %r" % (where, line))
    # The strict forward call refuses private-use results; the reverse call has them.
    for unit, code in sorted(rev_all.items()):
        if code in m.fwd:
            continue  # a two-way mapping, or the chosen code of a repeat (checked below)
        if not (0xE000 <= unit <= 0xF8FF):
            fail("%s: reverse-only mapping U+%04X -> %X is not private-use" % (path, unit, code))
        m.fwd[code] = unit
    for unit, code in rev_all.items():
        if m.fwd.get(code) != unit:
            fail("%s: reverse U+%04X -> %X does not map back" % (path, unit, code))
    m.rev = dict(rev_all)
    return m


_libc = None


def libc():
    global _libc
    if _libc is None:
        _libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        _libc.iconv_open.restype = ctypes.c_void_p
        _libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
        _libc.iconv.restype = ctypes.c_size_t
        _libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p),
                                ctypes.POINTER(ctypes.c_size_t), ctypes.POINTER(ctypes.c_char_p),
                                ctypes.POINTER(ctypes.c_size_t)]
        _libc.iconv_close.argtypes = [ctypes.c_void_p]
    return _libc


class Iconv:
    """One glibc iconv conversion, reset before every call; None when the input is invalid
    or incomplete."""

    def __init__(self, to, frm):
        self.h = libc().iconv_open(to.encode(), frm.encode())
        if self.h is None or self.h == ctypes.c_void_p(-1).value:
            fail("iconv cannot convert %s to %s" % (frm, to))

    def __call__(self, data):
        lib = libc()
        err = ctypes.c_size_t(-1).value
        lib.iconv(self.h, None, None, None, None)
        inbuf = ctypes.create_string_buffer(data, len(data))
        outbuf = ctypes.create_string_buffer(64)
        pin = ctypes.c_char_p(ctypes.addressof(inbuf))
        nin = ctypes.c_size_t(len(data))
        pout = ctypes.c_char_p(ctypes.addressof(outbuf))
        nout = ctypes.c_size_t(64)
        if lib.iconv(self.h, ctypes.byref(pin), ctypes.byref(nin), ctypes.byref(pout),
                     ctypes.byref(nout)) == err or nin.value:
            return None
        if lib.iconv(self.h, None, None, ctypes.byref(pout), ctypes.byref(nout)) == err:
            return None
        return outbuf.raw[:64 - nout.value]


def units_of(raw):
    return [int.from_bytes(raw[i:i + 2], "little") for i in range(0, len(raw), 2)]


def read_iconv_single(cp, charset):
    dec = Iconv("UTF-16LE", charset)
    enc = Iconv(charset, "UTF-16LE")
    m = Mapping("glibc iconv %s" % charset)
    for b in range(1, 256):
        r = dec(bytes([b]))
        if r is None:
            continue
        u = units_of(r)
        if len(u) != 1:
            fail("%s: byte %02X gives %d units" % (charset, b, len(u)))
        if u[0] != 0:
            m.fwd[b] = u[0]
    for unit in sorted(set(m.fwd.values())):
        r = enc(unit.to_bytes(2, "little"))
        if r is None or len(r) != 1 or m.fwd.get(r[0]) != unit:
            fail("%s: U+%04X does not map back to one of its bytes" % (charset, unit))
        m.rev[unit] = r[0]
    return m


def read_iconv_double(charset, leads, trails, extra_leads=()):
    """Pairs lead x trail of a double-byte charset, with its reverse choices and the
    reverse-only two-byte results of the encoder over the whole BMP."""
    dec = Iconv("UTF-16LE", charset)
    enc = Iconv(charset, "UTF-16LE")
    m = Mapping("glibc iconv %s" % charset)
    for lead in list(leads) + list(extra_leads):
        for trail in trails:
            r = dec(bytes([lead, trail]))
            if r is None:
                continue
            u = units_of(r)
            if len(u) != 1:
                fail("%s: %02X%02X gives %d units" % (charset, lead, trail, len(u)))
            m.fwd[lead << 8 | trail] = u[0]
    for unit in range(0x80, 0x10000):
        if 0xD800 <= unit <= 0xDFFF:
            continue
        r = enc(unit.to_bytes(2, "little"))
        if r is None or len(r) != 2 or r[0] < 0x80:
            continue
        code = r[0] << 8 | r[1]
        if code not in m.fwd:
            continue  # outside the pairs read above
        if m.fwd[code] == unit:
            m.rev[unit] = code
        else:
            m.extra.append((code, unit))
    return m


def combining_mark_of(charset, b):
    """The combining mark that the non-spacing diacritic byte b puts on a letter."""
    dec = Iconv("UTF-16LE", charset)
    marks = set()
    for base in b"aeiouycgnsz":
        r = dec(bytes([b, base]))
        if r is None:
            continue
        u = units_of(r)
        if len(u) != 1:
            continue
        nfd = unicodedata.normalize("NFD", chr(u[0]))
        if len(nfd) == 2 and nfd[0] == chr(base):
            marks.add(ord(nfd[1]))
    if len(marks) > 1:
        fail("%s: byte %02X puts several marks %r" % (charset, b, marks))
    return marks.pop() if marks else None


# ---- building the mapping of each code page -----------------------------------------------------

def load_sources(dump_dir):
    maps = {}
    for cp in PLATFORM:
        maps[cp] = read_platform_dump(os.path.join(dump_dir, "cp%d.txt" % cp), cp)
    for cp, (charset, _) in sorted(ICONV.items()):
        maps[cp] = read_iconv_single(cp, charset)

    # Differences applied to the glibc sets, as listed in ICONV.
    m = maps[20105]
    for b, u in ((0x24, 0x00A4), (0x7E, 0x203E)):
        set_two_way(m, b, u)
    for cp in (20261, 20269):
        charset = ICONV[cp][0]
        for b in range(0xC1, 0xD0):
            if b in maps[cp].fwd:
                fail("%s: diacritic byte %02X maps alone" % (charset, b))
            mark = combining_mark_of(charset, b)
            if mark is not None:
                set_two_way(maps[cp], b, mark)
    m = maps[20838]
    if m.fwd.get(0xFE) != 0x20AC:
        fail("IBM1160: the euro sign is not at 0xFE")
    del m.rev[m.fwd.pop(0xFE)]
    m = maps[20924]
    latin9 = {0x00A4: 0x20AC, 0x00A6: 0x0160, 0x00A8: 0x0161, 0x00B4: 0x017D, 0x00B8: 0x017E,
              0x00BC: 0x0152, 0x00BD: 0x0153, 0x00BE: 0x0178}
    for b, u in sorted(m.fwd.items()):
        if u in latin9:
            del m.rev[u]
            set_two_way(m, b, latin9[u])
    m = maps[38598]
    ref = maps[28598]
    for b in range(0x80, 0x100):
        if ref.fwd.get(b) != m.fwd.get(b):
            if b in m.fwd:
                m.rev.pop(m.fwd.pop(b), None)
            if b in ref.fwd:
                set_two_way(m, b, ref.fwd[b])

    # 51936 shares the GB table of 936.
    maps[51936] = maps[936]
    # 51949: 949 inside the EUC range, with the single-byte entries of 949.
    src = maps[949]
    m = Mapping("platform tables (dump_cp.c) of 949, EUC range")
    for code, unit in src.fwd.items():
        if code < 0x100 or (0xA1 <= code >> 8 <= 0xFE and 0xA1 <= (code & 0xFF) <= 0xFE):
            m.fwd[code] = unit
    for unit, code in src.rev.items():
        if code in m.fwd:
            m.rev[unit] = code
    maps[51949] = m
    # 51932: glibc's EUC-JP-MS, two-byte part.
    m = read_iconv_double("EUC-JP-MS", range(0xA1, 0xFF), range(0xA1, 0xFF), extra_leads=())
    kana = read_iconv_double("EUC-JP-MS", [0x8E], range(0xA1, 0xE0))
    m.fwd.update(kana.fwd)
    m.rev.update(kana.rev)
    maps[51932] = m
    return maps


def set_two_way(m, code, unit):
    old = m.fwd.get(code)
    if old is not None and m.rev.get(old) == code:
        del m.rev[old]
    m.fwd[code] = unit
    m.rev[unit] = code


def apply_adjustments(maps):
    applied = {}
    for cp, what, code, unit in ADJUSTMENTS:
        m = maps[cp]
        before = m.fwd.get(code)
        if what == "to":
            if before != unit or m.rev.get(unit) != code:
                applied.setdefault(cp, []).append((code, before, unit))
            set_two_way(m, code, unit)
        elif what == "none":
            if before is not None:
                applied.setdefault(cp, []).append((code, before, None))
                if m.rev.get(before) == code:
                    del m.rev[before]
                del m.fwd[code]
        elif what == "with":
            m.extra.append((code, unit))
        else:
            fail("unknown adjustment %r" % what)
    return applied


def check_telling_rows(maps):
    """Telling rows that the sources already satisfy; stop when a source changes under them."""
    m = maps[10004]
    pua = sorted((b, u) for b, u in m.fwd.items() if 0xE000 <= u <= 0xF8FF)
    if not pua or pua[0] != (0xA0, 0xF827) or \
            [u for _, u in pua] != list(range(0xF827, 0xF827 + len(pua))):
        fail("10004: the right-to-left bytes do not map to U+F827 upward")
    for cp, unit in ((932, 0x0080), (949, 0x0080), (950, 0x0080)):
        if maps[cp].fwd.get(0x80) != unit:
            fail("%d: 0x80 does not map to U+%04X" % (cp, unit))


# ---- entries, expected lines and the encoded table ----------------------------------------------

def classify(cp, m, ascii_pass):
    """Lines (kind, code, unit) of the expected mapping; the table holds M, F and W lines."""
    double = cp in DOUBLE
    lines = []
    for code, unit in sorted(m.fwd.items()):
        if unit == 0:
            continue
        if ascii_pass and code < 0x80:
            if unit != code:
                fail("%d: byte %02X maps to U+%04X under ASCII pass-through" % (cp, code, unit))
            continue
        if ascii_pass and unit < 0x80:
            lines.append(("F", code, unit))  # the unit itself goes out as its own byte
        elif m.rev.get(unit) == code:
            lines.append(("M", code, unit))
        elif double:
            lines.append(("D", code, unit))
        else:
            lines.append(("F", code, unit))
    for unit, code in sorted(m.rev.items()):
        if m.fwd.get(code) != unit:
            fail("%d: reverse U+%04X -> %X has no forward entry" % (cp, unit, code))
    for code, unit in sorted(set(m.extra)):
        if unit in m.rev:
            if m.rev[unit] != code:
                fail("%d: reverse-only %X for U+%04X conflicts with %X" %
                     (cp, code, unit, m.rev[unit]))
            continue
        if ascii_pass and unit < 0x80:
            fail("%d: reverse-only entry for U+%04X under ASCII pass-through" % (cp, unit))
        # The forward table finds a reverse-only entry when its code has no two-way entry.
        if not (ascii_pass and code < 0x80) and code not in m.fwd:
            fail("%d: reverse-only %X for U+%04X would also map forward" % (cp, code, unit))
        lines.append(("W", code, unit))
    return lines


def no_adjacent_repeats(entries):
    """Keeps the order but moves an entry whose code equals the previous one further on: a delta
    of 0 would end the section."""
    out = []
    pending = list(entries)
    while pending:
        for i, e in enumerate(pending):
            if not out or out[-1][0] != e[0]:
                out.append(pending.pop(i))
                break
        else:
            fail("cannot order entries without a repeated code: %r" % pending[:3])
    return out


def table_entries(lines):
    """Stream order: two-way entries, forward-only, reverse-only; each group by code."""
    rank = {"M": 0, "F": 1, "W": 2}
    kept = sorted((rank[k], c, u) for k, c, u in lines if k in rank)
    singles = no_adjacent_repeats([(c, u) for _, c, u in kept if c < 0x100])
    doubles = no_adjacent_repeats([(c, u) for _, c, u in kept if c >= 0x100])
    return singles, doubles


def encode_full(ascii_pass, singles, doubles):
    out = bytearray(b"a" if ascii_pass else b"x")
    out += b"u"
    b = u = 0
    for code, unit in singles:
        out.append((code - b) & 0xFF)
        out += ((unit - u) & 0xFFFF).to_bytes(2, "little")
        b, u = code, unit
    out.append(0)
    c = u = 0
    for code, unit in doubles:
        out += ((code - c) & 0xFFFF).to_bytes(2, "little")
        out += ((unit - u) & 0xFFFF).to_bytes(2, "little")
        c, u = code, unit
    out += b"\0\0"
    return bytes(out)


def encode_patch(ascii_pass, removes, singles, doubles):
    out = bytearray(b"a" if ascii_pass else b"x")
    out += b"d"
    for unit in removes:
        out += unit.to_bytes(2, "little")
    out += b"\0\0"
    for unit, code in singles:
        out.append(code)
        out += unit.to_bytes(2, "little")
    out.append(0)
    for unit, code in doubles:
        out += bytes([code >> 8, code & 0xFF])
        out += unit.to_bytes(2, "little")
    out += b"\0\0"
    return bytes(out)


def table_text(data, stored):
    if stored:
        return "x" + base64.b64encode(data).decode("ascii")
    packed = bz2.compress(data, BZ2_LEVEL)
    blob = TAG.to_bytes(4, "little") + len(data).to_bytes(4, "little") + packed
    return "c" + base64.b64encode(blob).decode("ascii")


# ---- an independent reading of the tables, to check the generator's own output -------------------

def simulate(text, reverse, target=None):
    """What the store builds from a text: dict key -> first value, plus the pass-through flag."""
    target = {} if target is None else target
    raw = base64.b64decode(text[1:])
    if text[0] != "x":
        if int.from_bytes(raw[:4], "little") != TAG:
            fail("bad tag")
        raw = bz2.decompress(raw[8:])
    ascii_pass = raw[0:1] == b"a"
    pos = 2
    entries = []
    if raw[1:2] == b"u":
        b = u = 0
        while raw[pos]:
            b = (b + raw[pos]) & 0xFF
            u = (u + int.from_bytes(raw[pos + 1:pos + 3], "little")) & 0xFFFF
            entries.append((b, u))
            pos += 3
        pos += 1
        c = u = 0
        while int.from_bytes(raw[pos:pos + 2], "little"):
            c = (c + int.from_bytes(raw[pos:pos + 2], "little")) & 0xFFFF
            u = (u + int.from_bytes(raw[pos + 2:pos + 4], "little")) & 0xFFFF
            entries.append((c, u))
            pos += 4
        for code, unit in entries:
            key, value = (unit, code) if reverse else (code, unit)
            target.setdefault(key, value)
    elif reverse:
        while int.from_bytes(raw[pos:pos + 2], "little"):
            target.pop(int.from_bytes(raw[pos:pos + 2], "little"), None)
            pos += 2
        pos += 2
        while raw[pos]:
            unit = int.from_bytes(raw[pos + 1:pos + 3], "little")
            target.pop(unit, None)
            target[unit] = raw[pos]
            pos += 3
        pos += 1
        while raw[pos] or raw[pos + 1]:
            unit = int.from_bytes(raw[pos + 2:pos + 4], "little")
            target.pop(unit, None)
            target[unit] = raw[pos] << 8 | raw[pos + 1]
            pos += 4
    return target, ascii_pass, len(entries)


def check_against_lines(cp, fwd, rev, ascii_pass, lines):
    want_fwd = {c: u for k, c, u in lines if k in "MF"}
    want_rev = {u: c for k, c, u in lines if k in "MW"}
    got_fwd = {c: u for c, u in fwd.items() if not (ascii_pass and c < 0x80)}
    got_rev = {u: c for u, c in rev.items() if not (ascii_pass and u < 0x80)}
    if got_fwd != want_fwd:
        bad = sorted(set(got_fwd.items()) ^ set(want_fwd.items()))[:5]
        fail("%d: the forward table differs from the expected mapping: %r" % (cp, bad))
    if got_rev != want_rev:
        bad = sorted(set(got_rev.items()) ^ set(want_rev.items()))[:5]
        fail("%d: the reverse table differs from the expected mapping: %r" % (cp, bad))


# ---- output --------------------------------------------------------------------------------------

def c_string_lines(text, width=96):
    return ['    "%s"' % text[i:i + width] for i in range(0, len(text), width)]


def write_inc(path, texts, entries):
    out = ["// Generated by tools/gen_codepages/gen_codepages.py; do not edit",
           "// Regenerate with: python3 tools/gen_codepages/gen_codepages.py",
           "// One embedded table text per table; kTableTexts lists the text (and patch) of every",
           "// code page, sorted by code page and ended by a null entry.", ""]
    for name in sorted(texts):
        out.append("static const char %s[] =" % name)
        lines = c_string_lines(texts[name])
        lines[-1] += ";"
        out.extend(lines)
    out.append("")
    out.append("static const TableText kTableTexts[] = {")
    for cp, text, patch in entries:
        out.append("    {%d, %s, %s}," % (cp, text, patch or "nullptr"))
    out.append("    {0, nullptr, nullptr},")
    out.append("};")
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write("\n".join(out) + "\n")


def expected_text(cp, m, ascii_pass, lines, applied):
    double = cp in DOUBLE
    width = 4 if double else 2
    out = ["# Expected mapping of code page %d, made by tools/gen_codepages/gen_codepages.py" % cp,
           "# from the source mapping with the telling rows applied (not from the tables).",
           "# M code unit: both ways; F: byte to unit only; D: dropped repeat; W: unit to code only",
           "cp %d" % cp, "kind %s" % ("double" if double else "single"),
           "ascii %d" % (1 if ascii_pass else 0), "source %s" % m.source]
    for code, before, after in applied.get(cp, []):
        out.append("adjusted %X %s %s" % (code, "none" if before is None else "%04X" % before,
                                          "none" if after is None else "%04X" % after))
    for kind, code, unit in lines:
        cw = 2 if code < 0x100 else width
        out.append("%s %0*X %04X" % (kind, cw, code, unit))
    return "\n".join(out) + "\n"


def run_dump(dump_dir):
    exe = os.path.join(dump_dir, "dump_cp.exe")
    subprocess.run(["x86_64-w64-mingw32-gcc-posix", "-O2", "-Wall", "-o", exe,
                    os.path.join(HERE, "dump_cp.c")], check=True)
    win_dir = "Z:" + dump_dir.replace("/", "\\")
    subprocess.run([os.path.join(ROOT, "scripts", "wine-run.sh"), exe, win_dir] +
                   [str(cp) for cp in PLATFORM], check=True)


def generate(dump_dir, inc_path, data_dir, verbose):
    maps = load_sources(dump_dir)
    applied = apply_adjustments(maps)
    check_telling_rows(maps)
    texts = {}
    text_of = {}
    report = []
    expected = {}
    shared = {51936: 936}

    def ascii_of(cp):
        return cp in ASCII_SINGLE or cp in DOUBLE

    for cp in ALL_CODE_PAGES:
        if cp == 10001:
            continue
        m = maps[cp]
        ascii_pass = ascii_of(cp)
        lines = classify(cp, m, ascii_pass)
        expected[cp] = (m, ascii_pass, lines)
        if cp in shared:
            text_of[cp] = text_of[shared[cp]]
            continue
        singles, doubles = table_entries(lines)
        if cp in DOUBLE:
            want = COUNTS.get(cp)
            got = (len(singles), len(doubles))
            if want and got != want:
                fail("%d: %d single-byte and %d double-byte entries, not %d and %d" %
                     (cp, got[0], got[1], want[0], want[1]))
            codes = len({c for c, _ in doubles})
            report.append("%d: %d single-byte, %d double-byte entries over %d codes" %
                          (cp, got[0], got[1], codes))
        name = "kTable%d" % cp
        # Double-byte tables are stored unpacked: unpacking one with bzip2 cost every process
        # that converts its charset about a millisecond (two for GBK), for some 60 KB more
        # program each. Single-byte tables unpack in microseconds.
        texts[name] = table_text(encode_full(ascii_pass, singles, doubles),
                                 stored=(cp == 20127 or cp in DOUBLE))
        text_of[cp] = name

    # 10001: the Shift_JIS text and a patch that turns its reverse table into Mac Japanese.
    sjis_rev, _, _ = simulate(texts[text_of[932]], True)
    mac = maps[10001]
    target = {u: c for u, c in mac.rev.items() if u >= 0x80}
    current = {u: c for u, c in sjis_rev.items() if u >= 0x80}
    removes = sorted(u for u in current if u not in target)
    changes = sorted((u, c) for u, c in target.items() if current.get(u) != c)
    p_single = [(u, c) for u, c in changes if c < 0x100]
    p_double = [(u, c) for u, c in changes if c >= 0x100]
    texts["kPatch10001"] = table_text(encode_patch(True, removes, p_single, p_double), False)
    report.append("10001 patch: removes %s; %d single-byte and %d double-byte entries, the "
                  "first double-byte U+%04X to %04X" %
                  (" ".join("U+%04X" % u for u in removes), len(p_single), len(p_double),
                   p_double[0][0], p_double[0][1]))
    expected[10001] = (mac, True, classify(10001, mac, True))

    # Check the encoded tables against the expected mapping with an independent reader.
    for cp in ALL_CODE_PAGES:
        m, ascii_pass, lines = expected[cp]
        if cp == 10001:
            rev, _, _ = simulate(texts[text_of[932]], True)
            rev, flag, _ = simulate(texts["kPatch10001"], True, rev)
            fwd = {}
            for u, c in rev.items():
                fwd.setdefault(c, u)
        else:
            fwd, flag, _ = simulate(texts[text_of[cp]], False)
            rev, _, _ = simulate(texts[text_of[cp]], True)
        if flag != ascii_pass:
            fail("%d: pass-through flag" % cp)
        check_against_lines(cp, fwd, rev, ascii_pass, lines)

    entries = []
    for cp in ALL_CODE_PAGES:
        if cp == 10001:
            entries.append((cp, text_of[932], "kPatch10001"))
        else:
            entries.append((cp, text_of[cp], None))
    write_inc(inc_path, texts, entries)

    os.makedirs(data_dir, exist_ok=True)
    for cp in ALL_CODE_PAGES:
        m, ascii_pass, lines = expected[cp]
        text = expected_text(cp, m, ascii_pass, lines, applied).encode("ascii")
        if cp in DOUBLE:
            with open(os.path.join(data_dir, "cp%d.txt.bz2" % cp), "wb") as f:
                f.write(bz2.compress(text, BZ2_LEVEL))
        else:
            with open(os.path.join(data_dir, "cp%d.txt" % cp), "wb") as f:
                f.write(text)

    if verbose:
        for line in report:
            print(line)
        for cp, changes in sorted(applied.items()):
            print("%d telling rows changed: %s" % (cp, ", ".join(
                "%X %s->%s" % (c, "none" if b is None else "%04X" % b,
                                "none" if a is None else "%04X" % a) for c, b, a in changes)))
        euc = read_iconv_double("EUC-KR", range(0xA1, 0xFF), range(0xA1, 0xFF))
        ours = {c: u for c, u in maps[51949].fwd.items() if c >= 0x100}
        diff = sorted(set(ours.items()) ^ set(euc.fwd.items()))
        print("51949 against glibc EUC-KR: %d differing pairs, e.g. %s" % (
            len(diff), ", ".join("%04X:%04X" % d for d in diff[:6])))
        for cp in sorted(COUNTS_NOT_REACHED):
            print("%d: wanted %d single-byte and %d double-byte entries" %
                  (cp, *COUNTS_NOT_REACHED[cp]))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--dump-dir", help="platform dumps made earlier (cpNNNN.txt)")
    ap.add_argument("--check", action="store_true",
                    help="generate into a scratch folder and compare with the committed files")
    ap.add_argument("--verbose", action="store_true")
    args = ap.parse_args()
    scratch = tempfile.mkdtemp(prefix="gen_codepages.")
    try:
        dump_dir = args.dump_dir
        if not dump_dir:
            dump_dir = os.path.join(scratch, "dump")
            os.makedirs(dump_dir)
            run_dump(dump_dir)
        if args.check:
            inc = os.path.join(scratch, "CodePageTableTexts.inc")
            data = os.path.join(scratch, "data")
            generate(dump_dir, inc, data, args.verbose)
            same = open(inc, "rb").read() == open(INC_PATH, "rb").read()
            for name in sorted(os.listdir(data)):
                committed = os.path.join(DATA_DIR, name)
                if not os.path.exists(committed) or \
                        open(committed, "rb").read() != open(os.path.join(data, name), "rb").read():
                    print("differs: tests/encoding/tables/data/%s" % name)
                    same = False
            print("committed files are up to date" if same else "committed files differ")
            return 0 if same else 1
        generate(dump_dir, INC_PATH, DATA_DIR, args.verbose)
        return 0
    except GenError as e:
        print("gen_codepages: %s" % e, file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
