// Cost of the built-in code-page tables: building each table (what the first conversion of a
// code page pays, per direction), the first use through the store, and steady-state conversion
// of 1252 and 932 to and from UTF-8.
#include "encoding/EncodingConvert.h"
#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"
#include "encoding/tables/UnicodeLookup.h"
#include "platform/Memory.h"
#include "text/DataBuffer.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const int kCodePages[] = {
    37,    437,   500,   708,   720,   737,   775,   850,   852,   855,   857,   858,   860,
    861,   862,   863,   864,   865,   866,   869,   870,   874,   875,   932,   936,   949,
    950,   1026,  1047,  1140,  1141,  1142,  1143,  1144,  1145,  1146,  1147,  1148,  1149,
    1250,  1251,  1252,  1253,  1254,  1255,  1256,  1257,  1258,  1361,  10000, 10001, 10004,
    10005, 10006, 10007, 10010, 10017, 10021, 10029, 10079, 10081, 10082, 20105, 20106, 20107,
    20108, 20127, 20261, 20269, 20273, 20277, 20278, 20280, 20284, 20285, 20290, 20297, 20420,
    20423, 20424, 20838, 20866, 20871, 20880, 20905, 20924, 21025, 21866, 28591, 28592, 28593,
    28594, 28595, 28596, 28597, 28598, 28599, 28603, 28605, 38598, 51932, 51936, 51949};

// Decoding, decompressing and filling one forward table, as the first conversion does.
void BM_BuildForward(benchmark::State& state) {
    const int cp = static_cast<int>(state.range(0));
    const bool single = TableStore::kindOf(cp) == TableStore::kSingleByte;
    if (TableStore::kindOf(cp) == TableStore::kNone) {
        state.SkipWithError("no table data");
        return;
    }
    for (auto _ : state) {
        if (single) {
            UnicodeLookup* t = TableStore::buildForwardSingleByte(cp);
            benchmark::DoNotOptimize(t);
            qxDelete(t);
        } else {
            HashConvert* t = TableStore::buildMap(cp, false);
            benchmark::DoNotOptimize(t);
            qxDelete(t);
        }
    }
}

void BM_BuildReverse(benchmark::State& state) {
    const int cp = static_cast<int>(state.range(0));
    if (TableStore::kindOf(cp) == TableStore::kNone) {
        state.SkipWithError("no table data");
        return;
    }
    for (auto _ : state) {
        HashConvert* t = TableStore::buildMap(cp, true);
        benchmark::DoNotOptimize(t);
        qxDelete(t);
    }
}

void codePageArgs(benchmark::internal::Benchmark* b) {
    for (int cp : kCodePages)
        b->Arg(cp);
}

BENCHMARK(BM_BuildForward)->Apply(codePageArgs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildReverse)->Apply(codePageArgs)->Unit(benchmark::kMicrosecond);

// The real first use through the store: one iteration, since the store keeps what it built.
void BM_FirstConversion(benchmark::State& state) {
    const int cp = static_cast<int>(state.range(0));
    const bool toUnicode = state.range(1) != 0;
    const unsigned char byte = 'a';
    const unsigned char unit[2] = {'a', 0};
    for (auto _ : state) {
        EncodingConvert ec;
        DataBuffer out;
        bool ok =
            toUnicode ? ec.convert(cp, 1200, &byte, 1, out) : ec.convert(1200, cp, unit, 2, out);
        benchmark::DoNotOptimize(ok);
    }
}

BENCHMARK(BM_FirstConversion)
    ->Args({1252, 1})
    ->Args({1252, 0})
    ->Args({932, 1})
    ->Args({932, 0})
    ->Args({936, 1})
    ->Args({936, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMicrosecond);

// About 1 MB of text in each code page, built from characters every table maps.
std::vector<unsigned char> text1252() {
    const char* words[] = {"caf\xE9 ",
                           "na\xEFve ",
                           "\x80 12,50 ",
                           "stra\xDF"
                           "e ",
                           "plain ",
                           "\xC5ngstr\xF6m ",
                           "r\xE9sum\xE9;"};
    std::vector<unsigned char> out;
    for (size_t i = 0; out.size() < (1u << 20); ++i) {
        const char* w = words[(i * 5) % 7];
        out.insert(out.end(), w, w + std::char_traits<char>::length(w));
        if (i % 12 == 11) out.push_back('\n');
    }
    return out;
}

std::vector<unsigned char> text932() {
    std::vector<unsigned char> out;
    for (size_t i = 0; out.size() < (1u << 20); ++i) {
        switch (i % 4) {
        case 0: // hiragana 82 9F..82 F1
            out.push_back(0x82);
            out.push_back(static_cast<unsigned char>(0x9F + i % 0x53));
            break;
        case 1: // level-1 kanji 88 9F..88 FC
            out.push_back(0x88);
            out.push_back(static_cast<unsigned char>(0x9F + i % 0x5E));
            break;
        case 2: // half-width katakana
            out.push_back(static_cast<unsigned char>(0xA1 + i % 0x3F));
            break;
        default:
            out.push_back(i % 40 == 3 ? '\n' : 'x');
        }
    }
    return out;
}

void convertLoop(benchmark::State& state, int from, int to, const std::vector<unsigned char>& in) {
    EncodingConvert ec;
    for (auto _ : state) {
        DataBuffer out;
        bool ok = ec.convert(from, to, in.data(), static_cast<unsigned>(in.size()), out);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(out.getData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(in.size()));
}

std::vector<unsigned char> toUtf8(int from, const std::vector<unsigned char>& in) {
    EncodingConvert ec;
    DataBuffer out;
    ec.convert(from, 65001, in.data(), static_cast<unsigned>(in.size()), out);
    return std::vector<unsigned char>(out.getData(), out.getData() + out.getSize());
}

void BM_1252ToUtf8(benchmark::State& state) {
    convertLoop(state, 1252, 65001, text1252());
}
void BM_Utf8To1252(benchmark::State& state) {
    convertLoop(state, 65001, 1252, toUtf8(1252, text1252()));
}
void BM_932ToUtf8(benchmark::State& state) {
    convertLoop(state, 932, 65001, text932());
}
void BM_Utf8To932(benchmark::State& state) {
    convertLoop(state, 65001, 932, toUtf8(932, text932()));
}

BENCHMARK(BM_1252ToUtf8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Utf8To1252)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_932ToUtf8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Utf8To932)->Unit(benchmark::kMicrosecond);

} // namespace
