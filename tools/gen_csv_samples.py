#!/usr/bin/env python3
"""Writes the charset sample files used by the CSV document tests (tests/csv/data/).

Each sample is one small table encoded with Python's own codecs, so the tests compare the
component's decoding and encoding against an implementation nobody here wrote. Deterministic:
running it again rewrites identical files.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "tests", "csv", "data")

# (file name, Python codec, byte-order mark to prepend, rows). Rows are lists of cells; a cell
# holding the delimiter or a quote is written quoted with doubled quotes.
LATIN = [["Name", "City", "Note"],
         ["Zoë", "Köln", "crème, brûlée"],
         ["Ñandú", "São Paulo", 'say "olé"'],
         ["Æsir", "Þórshöfn", "£5 – €6"]]
EBCDIC = [["Name", "City", "Note"],
          ["Zoe", "Koln", "a, b"],
          ["Andre", "Sao Paulo", "x;y"],
          ["cafe", "Zurich", "1.5 + 2 = 3.5"]]
JAPANESE = [["名前", "都市", "メモ"],
            ["山田", "東京", "ｶﾞｷﾞ半角"],
            ["鈴木", "大阪", "「引用」、句点。"],
            ["佐藤", "札幌", "全角ＡＢＣ"]]
JAPANESE_FULLWIDTH = [["名前", "都市", "メモ"],
                      ["山田", "東京", "ガギ全角"],
                      ["鈴木", "大阪", "「引用」、句点。"],
                      ["佐藤", "札幌", "全角ＡＢＣ"]]
KOREAN = [["이름", "도시", "메모"],
          ["김민수", "서울", "안녕하세요"],
          ["이영희", "부산", "가, 나"]]
MIXED = [["Name", "Text", "Note"],
         ["Zoë", "東京", "한국어"],
         ["emoji", "\U0001F600 smile", "Ωmega"],
         ["plain", "a+b=c", "x, y"]]

SAMPLES = [
    ("windows-1252.csv", "cp1252", b"", LATIN),
    ("shift_jis.csv", "cp932", b"", JAPANESE),
    # ISO-2022-JP has no half-width katakana: the encoder widens them, so this file holds the
    # full-width forms the component's own widening produces.
    ("iso-2022-jp.csv", "iso2022_jp", b"", JAPANESE_FULLWIDTH),
    ("euc-kr.csv", "euc_kr", b"", KOREAN),
    ("ibm037.csv", "cp037", b"", EBCDIC),
    ("utf-16le-bom.csv", "utf-16-le", b"\xff\xfe", MIXED),
    ("utf-16le.csv", "utf-16-le", b"", MIXED),
    ("utf-16be.csv", "utf-16-be", b"", MIXED),
    ("utf-7.csv", "utf-7", b"", MIXED),
    ("utf-8-bom.csv", "utf-8", b"\xef\xbb\xbf", MIXED),
]


def csv_text(rows):
    lines = []
    for row in rows:
        cells = []
        for c in row:
            if "," in c or '"' in c:
                c = '"' + c.replace('"', '""') + '"'
            cells.append(c)
        lines.append(",".join(cells))
    return "\r\n".join(lines) + "\r\n"


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, codec, bom, rows in SAMPLES:
        data = bom + csv_text(rows).encode(codec)
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
