#include "encoding/tables/QuenlixBzip2.h"

#include "encoding/tables/TableTestUtil.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

using tabletest::Bytes;

Bytes sampleText() {
    Bytes raw;
    for (int i = 0; i < 5000; ++i)
        raw.push_back(static_cast<unsigned char>((i * 7) % 251));
    return raw;
}

struct Bzip2Case {
    const char* name;
    std::function<Bytes()> input;
    bool ok;
    Bytes output;
};

class Bzip2Decompress : public ::testing::TestWithParam<Bzip2Case> {};

TEST_P(Bzip2Decompress, ProducesExpectedResult) {
    const Bzip2Case& c = GetParam();
    Bytes in = c.input();
    DataBuffer src;
    src.append(in.data(), static_cast<unsigned>(in.size()));
    DataBuffer out;
    out.append("stale", 5); // every outcome replaces what was there
    QuenlixBzip2 bz;
    EXPECT_EQ(bz.decompressTable(src, out), c.ok);
    if (!c.ok) {
        EXPECT_EQ(out.getSize(), 0u) << "a failure leaves the output empty";
        return;
    }
    ASSERT_EQ(out.getSize(), c.output.size());
    if (!c.output.empty()) {
        EXPECT_EQ(Bytes(out.getData(), out.getData() + out.getSize()), c.output);
    }
}

Bytes withByte(Bytes b, size_t pos, unsigned char v) {
    b[pos] = v;
    return b;
}

const Bzip2Case kBzip2Cases[] = {
    {"EmptyInput", [] { return Bytes(); }, true, {}},
    {"RoundTrip", [] { return tabletest::taggedBzip2(sampleText()); }, true, sampleText()},
    {"EmptyStream", [] { return tabletest::taggedBzip2(Bytes()); }, true, {}},
    {"StatedSizeLargerThanData", [] { return tabletest::taggedBzip2(sampleText(), 9000); }, true,
     sampleText()},
    {"StatedSizeWithinSlack", [] { return tabletest::taggedBzip2(sampleText(), 4985); }, true,
     sampleText()},
    {"StatedSizeTooSmall", [] { return tabletest::taggedBzip2(sampleText(), 100); }, false, {}},
    {"ShorterThanHeader", [] { return Bytes{0xE1, 0xA7, 0x94, 0xB3, 0, 0, 0}; }, false, {}},
    {"WrongTag", [] { return withByte(tabletest::taggedBzip2(sampleText()), 0, 0xE2); }, false, {}},
    {"HeaderOnly", [] { return Bytes{0xE1, 0xA7, 0x94, 0xB3, 10, 0, 0, 0}; }, false, {}},
    {"TruncatedStream",
     [] {
         Bytes b = tabletest::taggedBzip2(sampleText());
         b.resize(b.size() - 10);
         return b;
     },
     false,
     {}},
    {"DamagedStreamMagic",
     [] { return withByte(tabletest::taggedBzip2(sampleText()), 8, 'X'); },
     false,
     {}},
    {"HugeStatedSize",
     [] {
         Bytes b = tabletest::taggedBzip2(sampleText());
         b[4] = b[5] = b[6] = b[7] = 0xFF;
         return b;
     },
     false,
     {}},
};

INSTANTIATE_TEST_SUITE_P(Bzip2, Bzip2Decompress, ::testing::ValuesIn(kBzip2Cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
