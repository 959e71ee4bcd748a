// Files loaded and saved a stretch at a time against the plain whole-text paths, for every
// charset and several stretch sizes: the bytes must be exactly the same.
// Saving: the generated tables hold what can go wrong at a stretch's edge: rows that open with a
// byte-order mark, line ends inside values, bytes that are not UTF-8, characters of one to four
// bytes, rows longer than a stretch, blank rows.
// Loading: generated files of bytes of every kind, LF bytes after lead bytes among them, some
// opening with a UTF-8 byte-order mark, are decoded as they are read and compared with the file
// read whole and converted.
#include "csv/CsvTestSupport.h"
#include "csv/FileDecoder.h"
#include "encoding/tables/TableStore.h"
#include "file/FileAccess.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string hostileTable(unsigned seed) {
    // The pieces rows are made of, between "~".
    static const std::vector<std::string> kPieces = [] {
        std::vector<std::string> pieces;
        std::istringstream in(
            "plain~,~\"q,\"\"d\"\"\"~\"in\r\nside\"~\"lf\nonly\"~\\\r\n~\r~\xEF\xBB\xBF~"
            "\xC3\xA9~\xE6\x97\xA5\xE6\x9C\xAC~\xED\x95\x9C~\xF0\x9F\x98\x80~\xFF\xC3~"
            "\xE6\x97~;~\x0E\x0F~+-~\x1B$B~ ~12.5");
        for (std::string piece; std::getline(in, piece, '~');)
            pieces.push_back(piece);
        return pieces;
    }();
    std::mt19937 rng(seed);
    std::string text;
    for (int row = 0; row < 60; ++row) {
        const int n = static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i)
            text += kPieces[rng() % kPieces.size()];
        if (row % 17 == 5) text += csvtest::repeated("long,", 40); // longer than a stretch
        text += rng() % 4 ? "\r\n" : "\n";
    }
    return text;
}

TEST(Stretches, SavingWritesTheWholeText) {
    std::vector<std::string> charsets = {"utf-8", "ansi", "x-user-defined", "nonsense"};
    for (const auto& row : testfs::caseRows("encoding/data/charset_table.tsv"))
        if (row.size() == 4 && row[1] != "-" && row[2] != "none") charsets.push_back(row[1]);
    ASSERT_GT(charsets.size(), 100u);

    testfs::TempDir dir;
    const std::string path = dir.utf8Path("saved.csv");
    unsigned seed = 1;
    for (const std::string& charset : charsets) {
        const std::string text = hostileTable(seed++);
        for (int piece : {1, 150, Grid::kSavePieceBytes}) {
            const bool crlf = seed % 2, names = seed % 3 == 0;
            Grid whole, streamed;
            for (Grid* g : {&whole, &streamed}) {
                g->crlf = crlf;
                g->hasColumnNames = names;
                StringBuffer copy = csvtest::make(text);
                g->loadCsv(copy, ',');
            }
            StringBuffer expected;
            whole.saveCsv(charset.c_str(), expected);
            ASSERT_TRUE(streamed.saveCsvToFile(charset.c_str(), path.c_str(), nullptr, piece));
            EXPECT_EQ(testfs::contentsOf(path), csvtest::str(expected))
                << charset << " in stretches of " << piece << " (crlf " << crlf << ")";
            // Either way the save leaves the stored rows normalised alike.
            EXPECT_EQ(csvtest::rawRows(streamed), csvtest::rawRows(whole)) << charset;
        }
    }
}

// Every cell, last row first: rows read out of order are indexed, and a row a save changed must
// not be read through its old index entry. (Field counts stay memoised across a save.)
std::vector<std::string> cellsBackwards(Grid& g) {
    std::vector<std::string> cells;
    StringBuffer cell;
    for (int r = g.numRows() - 1; r >= 0; --r)
        for (int c = 0, n = g.getNumColumns(r); c < n; ++c) {
            g.getCell(r, c, cell);
            cells.push_back(csvtest::str(cell));
        }
    return cells;
}

// Loaded rows are saved as stretches of the loaded text where they allow it; the same table
// with every row first given a buffer of its own is saved one row at a time. Both saves, the
// rows as they stand after them (a save normalises rows in place), and a second save must agree.
// The texts hold what decides whether a row may be copied as it lies: line breaks in quotes and
// after backslashes (also CR LF, which the loader folds), lone CRs, both line ends, blank rows
// and trailing blanks, rows crossing 64-byte blocks, a NUL that ends the text early.
TEST(Stretches, LoadedRowsSaveAsRowsSavedOneByOne) {
    static const char* const kPieces[] = {"plain",
                                          ",",
                                          "\"q,\"\"d\"\"\"",
                                          "\"in\r\nside\"",
                                          "\"lf\nonly\"",
                                          "\"cr\ronly\"",
                                          "\\\n",
                                          "\\\r\n",
                                          "\\",
                                          "\r",
                                          "  ",
                                          "\t",
                                          "\xEF\xBB\xBF",
                                          "\xC3\xA9",
                                          "0123456789abcdefghijklmnopqrstuvwxyz0123456789",
                                          "\n",
                                          "\r\n"};
    const int kinds = sizeof kPieces / sizeof *kPieces;
    for (unsigned seed = 0; seed < 300; ++seed) {
        std::mt19937 rng(seed);
        const bool lfFile = seed % 3 == 1;
        std::string text;
        // More rows than a run takes in at once (64), so that runs go on across its groups.
        for (int row = 0; row < 150; ++row) {
            // Most rows plain, as in a real table, so that runs of them form.
            const int n = static_cast<int>(rng() % 6);
            for (int i = 0; i < n; ++i)
                text += rng() % 4 ? kPieces[rng() % 3] : kPieces[rng() % kinds];
            text += lfFile || rng() % 8 == 0 ? "\n" : "\r\n";
        }
        if (seed % 7 == 3) text += " \t\r\n\r\n";
        // An unmatched quote makes one row of the rest of the text.
        if (seed % 9 == 7) text.insert(rng() % text.size(), 1, '"');
        if (seed % 11 == 4) text.insert(text.size() / 2, 1, '\0');
        const bool crlf = seed % 4 != 2, names = seed % 5 == 0;
        Grid loaded, owned;
        for (Grid* g : {&loaded, &owned}) {
            g->crlf = crlf;
            g->hasColumnNames = names;
            StringBuffer copy = csvtest::make(text);
            // The two grids load the text the two ways: copied as it is cut, and cut in place.
            if ((seed % 2 == 0) == (g == &loaded))
                g->loadCsv(copy, ',');
            else
                g->loadCsvTaking(copy, ',');
        }
        for (int r = 0; r < owned.numRows(); ++r)
            owned.rowText(r);
        // An edited row in the middle of a run.
        if (seed % 3 == 0 && loaded.numRows() > 3) {
            loaded.setCellUtf8(2, 1, "new\nvalue");
            owned.setCellUtf8(2, 1, "new\nvalue");
        }
        const std::string at = "seed " + std::to_string(seed);
        if (seed % 2) EXPECT_EQ(cellsBackwards(loaded), cellsBackwards(owned)) << at;
        for (int pass = 0; pass < 2; ++pass) {
            StringBuffer a, b;
            loaded.saveCsv("utf-8", a);
            owned.saveCsv("utf-8", b);
            ASSERT_EQ(csvtest::str(a), csvtest::str(b)) << at << " pass " << pass;
        }
        testfs::TempDir dir;
        const std::string path = dir.utf8Path("saved.csv");
        Grid streamed;
        streamed.crlf = crlf;
        streamed.hasColumnNames = names;
        StringBuffer copy = csvtest::make(text);
        streamed.loadCsvTaking(copy, ',');
        if (seed % 3 == 0 && streamed.numRows() > 3) streamed.setCellUtf8(2, 1, "new\nvalue");
        StringBuffer expected;
        owned.saveCsv("utf-8", expected);
        ASSERT_TRUE(streamed.saveCsvToFile("utf-8", path.c_str(), nullptr, 1 + seed % 200));
        EXPECT_EQ(testfs::contentsOf(path), csvtest::str(expected)) << at;
        EXPECT_EQ(csvtest::rawRows(streamed), csvtest::rawRows(owned)) << at;
        EXPECT_EQ(cellsBackwards(loaded), cellsBackwards(owned)) << at;
        EXPECT_EQ(csvtest::rawRows(loaded), csvtest::rawRows(owned)) << at;
    }
}

std::string hostileBytes(unsigned seed, size_t size) {
    static const char kBytes[] =
        "\n\n\r,\"aZ09 \x81\x82\x8E\x8F\xA1\xA4\xB0\xC8\xE0\xEF\xF0\xFE\xFF\x40\x7F\x5C";
    std::mt19937 rng(seed);
    std::string bytes = seed % 3 ? "" : "\xEF\xBB\xBF";
    while (bytes.size() < size)
        bytes += kBytes[rng() % (sizeof kBytes - 1)];
    return bytes;
}

// UTF-16 of both byte orders mixed: LF units, units that look like marks, surrogates of both
// orders, some texts opening with a mark of either order or the UTF-8 one, some an odd byte long.
std::string hostileUnits(unsigned seed, size_t units) {
    static const char* const kUnits[] = {"\n\0",     "\n\0",     "\0\n",    "\xFF\xFE", "\xFE\xFF",
                                         "\r\0",     ",\0",      "a\0",     "\x3D\xD8", "\x00\xDE",
                                         "\xD8\x3D", "\xDE\x00", "\x42\x30"};
    static const char* const kOpenings[] = {"", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF"};
    std::mt19937 rng(seed);
    std::string bytes = kOpenings[seed % 4];
    for (size_t i = 0; i < units; ++i)
        bytes.append(kUnits[rng() % (sizeof kUnits / sizeof *kUnits)], 2);
    if (seed % 5 == 0) bytes += 'x';
    return bytes;
}

// The file read whole and converted, against the same file decoded as it is read.
void expectSameDecoding(const testfs::TempDir& dir, int cp, const std::string& bytes,
                        uint32_t piece) {
    ASSERT_TRUE(testfs::writeAll(dir.path("loaded.csv"), bytes));
    XString path;
    path.setFromUtf8(dir.utf8Path("loaded.csv").c_str());
    StringBuffer expected, text("stale");
    ASSERT_TRUE(expected.loadFromFile(path, nullptr));
    expected.convertEncoding(cp, 65001);
    FileDecoder decoder(cp, piece);
    ASSERT_TRUE(FileAccess::readWholeFile(path, decoder, nullptr));
    decoder.takeText(text);
    EXPECT_EQ(csvtest::str(text), csvtest::str(expected)) << cp << " in pieces of " << piece;
}

TEST(Stretches, LoadingDecodesTheWholeFile) {
    std::vector<int> codePages = {437, 1200, 1201, 65000, 65005, 65006, 50220, 50225};
    for (const auto& row : testfs::caseRows("encoding/data/charset_table.tsv"))
        if (row.size() == 4 && row[2] == "table") codePages.push_back(std::stoi(row[0]));
    ASSERT_GT(codePages.size(), 100u);

    testfs::TempDir dir;
    unsigned seed = 0;
    for (int cp : codePages) {
        // Double-byte texts large enough for the flat tables that decide whether their code page
        // decodes by lines.
        const bool large = TableStore::kindOf(cp) == TableStore::kDoubleByte;
        ++seed;
        const std::string bytes = hostileBytes(seed, (large ? 70000 : 9000) + seed % 7);
        for (uint32_t piece : {7u, 4096u})
            expectSameDecoding(dir, cp, bytes, piece);
    }
    for (unsigned seed = 0; seed < 20; ++seed)
        for (uint32_t piece : {3u, 7u, 64u})
            expectSameDecoding(dir, seed % 2 ? 1201 : 1200, hostileUnits(seed, 3000), piece);
    // A byte-order mark goes only from a file longer than the mark; seven-bit text in code page
    // 437 stays as read, NUL and all.
    for (const char* bytes : {"", "\xEF", "\xEF\xBB\xBF", "\xEF\xBB\xBF\n", "\n\xEF\xBB\xBF"})
        expectSameDecoding(dir, 1252, bytes, 1);
    expectSameDecoding(dir, 437, std::string("a\0b\nc", 5), 1);
}

} // namespace
