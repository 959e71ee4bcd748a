#include "encoding/tables/QuenlixBzip2.h"

#include "encoding/EncodingTestUtil.h"
#include "text/DataBuffer.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using enctest::Bytes;
using enctest::taggedBzip2;

Bytes sampleText() {
    Bytes raw;
    for (int i = 0; i < 5000; ++i)
        raw.push_back(static_cast<unsigned char>((i * 7) % 251));
    return raw;
}

Bytes changed(Bytes b, size_t from, size_t to, unsigned char v) {
    for (size_t i = from; i < to; ++i)
        b[i] = v;
    return b;
}

TEST(Bzip2, DecompressTable) {
    const Bytes text = sampleText(), packed = taggedBzip2(text);
    const Bytes header = {0xE1, 0xA7, 0x94, 0xB3, 10, 0, 0, 0};
    const std::tuple<const char*, Bytes, bool, Bytes> cases[] = {
        {"empty input", {}, true, {}},
        {"round trip", packed, true, text},
        {"empty stream", taggedBzip2({}), true, {}},
        {"stated size larger than the data", taggedBzip2(text, 9000), true, text},
        {"stated size within the slack", taggedBzip2(text, 4985), true, text},
        {"stated size too small", taggedBzip2(text, 100), false, {}},
        {"shorter than the header", Bytes(header.begin(), header.end() - 1), false, {}},
        {"header only", header, false, {}},
        {"wrong tag", changed(packed, 0, 1, 0xE2), false, {}},
        {"damaged stream magic", changed(packed, 8, 9, 'X'), false, {}},
        {"truncated stream", Bytes(packed.begin(), packed.end() - 10), false, {}},
        {"huge stated size", changed(packed, 4, 8, 0xFF), false, {}},
    };
    for (const auto& [what, in, ok, output] : cases) {
        SCOPED_TRACE(what);
        DataBuffer src, out;
        src.append(in.data(), static_cast<unsigned>(in.size()));
        out.append("stale", 5); // every outcome replaces what was there
        EXPECT_EQ(QuenlixBzip2().decompressTable(src, out), ok);
        EXPECT_TRUE(Bytes(out.getData(), out.getData() + out.getSize()) == output);
    }
}

} // namespace
