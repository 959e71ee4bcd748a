// Saving to a file a stretch of lines at a time against saving the whole text at once: for every
// charset and any stretch size the file must hold exactly the bytes of the whole text. The
// generated tables hold what can go wrong at a stretch's edge: rows that open with a byte-order
// mark, line ends inside values, bytes that are not UTF-8, characters of one to four bytes,
// rows longer than a stretch, blank rows.
#include "csv/CsvTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string hostileTable(unsigned seed) {
    static const char* const kPieces[] = {
        "plain",
        ",",
        "\"q,\"\"d\"\"\"",
        "\"in\r\nside\"",
        "\"lf\nonly\"",
        "\\\r\n",
        "\r",
        "\xEF\xBB\xBF",
        "\xC3\xA9",
        "\xE6\x97\xA5\xE6\x9C\xAC",
        "\xED\x95\x9C",
        "\xF0\x9F\x98\x80",
        "\xFF\xC3",
        "\xE6\x97",
        ";",
        "\x0E\x0F",
        "+-",
        "\x1B$B",
        " ",
        "12.5",
    };
    std::mt19937 rng(seed);
    std::string text;
    for (int row = 0; row < 60; ++row) {
        const int n = static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i)
            text += kPieces[rng() % (sizeof kPieces / sizeof *kPieces)];
        if (row % 17 == 5) text += csvtest::repeated("long,", 40); // longer than a stretch
        text += rng() % 4 ? "\r\n" : "\n";
    }
    return text;
}

TEST(GridSaveStream, StretchesWriteTheWholeText) {
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
        }
    }
}

} // namespace
