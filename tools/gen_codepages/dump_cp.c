/* Dumps the conversion tables of Windows code pages as the platform's own conversion functions
 * apply them, one text file per code page. Built with the 64-bit mingw cross compiler and run
 * under Wine (or on Windows) by gen_codepages.py:
 *
 *   x86_64-w64-mingw32-gcc-posix -O2 -o dump_cp.exe dump_cp.c
 *   dump_cp.exe OUTDIR CODEPAGE...
 *
 * Output lines (hex, upper case):
 *   CP n MAX m LEAD lo-hi ...      header: maximum character size and the lead-byte ranges
 *   F bb uuuu                      MultiByteToWideChar maps the single byte bb to U+uuuu
 *   F bbbb uuuu                    ... the lead/trail pair bbbb (lead byte first)
 *   R uuuu bb | bbbb               WideCharToMultiByte with WC_NO_BEST_FIT_CHARS maps U+uuuu
 *   B uuuu bb | bbbb               the same without WC_NO_BEST_FIT_CHARS, where that differs
 *   E ...                          anything unexpected (the generator stops on it)
 * Byte 0 and U+0000 are left out; conversions handle them without a table. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static void hexBytes(FILE* f, const unsigned char* b, int n) {
    for (int i = 0; i < n; ++i) fprintf(f, "%02X", b[i]);
}

static int dumpOne(const char* dir, UINT cp) {
    CPINFO info;
    if (!GetCPInfo(cp, &info)) {
        fprintf(stderr, "code page %u: not available\n", cp);
        return 0;
    }
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\cp%u.txt", dir, cp);
    FILE* f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "cannot write %s\n", path);
        return 0;
    }
    unsigned char isLead[256] = {0};
    fprintf(f, "CP %u MAX %u LEAD", cp, info.MaxCharSize);
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2) {
        fprintf(f, " %02X-%02X", info.LeadByte[i], info.LeadByte[i + 1]);
        for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) isLead[b] = 1;
    }
    fprintf(f, "\n");

    WCHAR w[8];
    for (int b = 1; b < 256; ++b) {
        unsigned char in[2] = {(unsigned char)b, 0};
        if (isLead[b]) {
            for (int t = 1; t < 256; ++t) {
                in[1] = (unsigned char)t;
                int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, (LPCSTR)in, 2, w, 8);
                if (n == 1) {
                    fprintf(f, "F %02X%02X %04X\n", b, t, w[0]);
                } else if (n > 1) {
                    fprintf(f, "E F %02X%02X gives %d units\n", b, t, n);
                }
            }
            continue;
        }
        int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, (LPCSTR)in, 1, w, 8);
        if (n == 1) fprintf(f, "F %02X %04X\n", b, w[0]);
        else if (n > 1) fprintf(f, "E F %02X gives %d units\n", b, n);
    }

    for (unsigned u = 1; u < 0x10000; ++u) {
        if (u >= 0xD800 && u <= 0xDFFF) continue;
        WCHAR wc = (WCHAR)u;
        unsigned char strict[8], loose[8];
        BOOL usedStrict = FALSE, usedLoose = FALSE;
        int ns = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, &wc, 1, (LPSTR)strict, 8, NULL,
                                     &usedStrict);
        int nl = WideCharToMultiByte(cp, 0, &wc, 1, (LPSTR)loose, 8, NULL, &usedLoose);
        int okStrict = ns > 0 && !usedStrict;
        int okLoose = nl > 0 && !usedLoose;
        if (okStrict) {
            fprintf(f, "R %04X ", u);
            hexBytes(f, strict, ns);
            fprintf(f, "\n");
        }
        if (okLoose && (!okStrict || ns != nl || memcmp(strict, loose, (size_t)ns) != 0)) {
            fprintf(f, "B %04X ", u);
            hexBytes(f, loose, nl);
            fprintf(f, "\n");
        }
    }
    fclose(f);
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: dump_cp OUTDIR CODEPAGE...\n");
        return 2;
    }
    int failed = 0;
    for (int i = 2; i < argc; ++i)
        if (!dumpOne(argv[1], (UINT)strtoul(argv[i], NULL, 10))) failed = 1;
    return failed;
}
