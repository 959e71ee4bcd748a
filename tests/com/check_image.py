#!/usr/bin/python3
"""check_image.py QuenlixCsv.dll 64|32 REGSCRIPT: checks the DLL as a file, without loading it: PE
headers of the right machine, exactly the four entry points exported, only system DLLs imported
(it is linked statically), the type library of the bitness, and the registration script, picture,
name string and version block as resources. A line per failed check; exit 1 if any."""
import struct
import sys

import pefile

dll, bits, regscript = sys.argv[1], int(sys.argv[2]), sys.argv[3]
pe = pefile.PE(dll)
problems = []


def check(ok, what):
    if not ok:
        problems.append(what)


MACHINE = {64: (0x8664, 0x20B, 3), 32: (0x14C, 0x10B, 1)}  # machine, optional-header magic, SYSKIND
machine, magic, syskind = MACHINE[bits]
check(pe.FILE_HEADER.Machine == machine, f"machine 0x{pe.FILE_HEADER.Machine:x}, want 0x{machine:x}")
check(pe.OPTIONAL_HEADER.Magic == magic, f"optional header magic 0x{pe.OPTIONAL_HEADER.Magic:x}")
check(pe.FILE_HEADER.Characteristics & 0x2000, "not flagged as a DLL")

exports = sorted(e.name.decode() for e in pe.DIRECTORY_ENTRY_EXPORT.symbols if e.name)
want_exports = ["DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"]
check(exports == want_exports, f"exports {exports}")

SYSTEM = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll",
          "msvcrt.dll", "shell32.dll", "version.dll", "ucrtbase.dll"}
for entry in pe.DIRECTORY_ENTRY_IMPORT:
    name = entry.dll.decode().lower()
    check(name in SYSTEM or name.startswith("api-ms-win-"), f"imports {name}, not a system DLL")

resources = {}
for rtype in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    tname = str(rtype.name) if rtype.name else rtype.id
    for rid in rtype.directory.entries:
        lang = rid.directory.entries[0]
        resources[(tname, rid.id)] = pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)


def resource(kind, rid):
    data = resources.get((kind, rid))
    check(data is not None, f"no resource {kind} {rid}")
    return data or b""


tlb = resource("TYPELIB", 1)
check(tlb[:4] == b"MSFT" and len(tlb) > 0x18 and tlb[0x14] & 0xF == syskind,
      f"type library is not an MSFT library for system kind {syskind}")
with open(regscript, "rb") as f:
    check(resource("REGISTRY", 102).rstrip(b"\0") == f.read(), "registration script differs")
bmp = resource(2, 101)  # RT_BITMAP: a BITMAPINFOHEADER and the pixels
check(len(bmp) >= 40 and struct.unpack_from("<iihh", bmp, 4) == (16, 16, 1, 4),
      "toolbox bitmap is not 16 by 16 in 16 colours")
# String 100 is entry 4 of string block 7 (16 strings a block, counted from 1).
block, strings = resource(6, 7), []
while len(block) >= 2 and len(strings) < 16:
    n = struct.unpack_from("<H", block)[0]
    strings.append(block[2:2 + 2 * n].decode("utf-16-le"))
    block = block[2 + 2 * n:]
check(len(strings) > 4 and strings[4] == "QuenlixCsv", f"string 100 is {strings[4:5]}")

version = {}
for info in getattr(pe, "FileInfo", []):
    for block in info:
        for table in getattr(block, "StringTable", []):
            version.update({k.decode(): v.decode() for k, v in table.entries.items()})
want_version = {"FileDescription": "QuenlixCsv Module", "FileVersion": "1, 0, 1, 1",
                "InternalName": "QuenlixCsv", "OriginalFilename": "QuenlixCsv.DLL",
                "ProductName": "QuenlixCsv Module", "ProductVersion": "1, 0, 1, 1",
                "OLESelfRegister": ""}
for key, value in want_version.items():
    check(version.get(key) == value, f"version {key} is {version.get(key)!r}, want {value!r}")
fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
check(fixed and (fixed.FileVersionMS, fixed.FileVersionLS) == (0x10000, 0x10001),
      "fixed file version is not 1.0.1.1")

for p in problems or ["pass"]:
    print(f"check_image {'FAIL' if problems else 'pass'} ({bits}-bit {dll}): {p}")
sys.exit(1 if problems else 0)
