// The conversion side of bench/compare: EncodingConvert::convert against glibc iconv(3) and ICU's
// ucnv_convertEx on the same buffers, for each legacy charset to and from UTF-8 and for UTF-8 to
// and from UTF-16.
//
// The buffers come from bench/compare (QX_BENCH_DATA names their folder): enc-KEY.bin holds the
// text in the charset, enc-KEY.utf8 the same characters in UTF-8. The peers write into an output
// block allocated once outside the timed loop; our converter grows its DataBuffer as every
// caller's does, so the comparison leans, if anything, towards the peers.
#include "encoding/EncodingConvert.h"
#include "text/DataBuffer.h"

#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ucnv.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Charset {
    const char* key;
    int codePage;
    const char* iconvName;
    const char* icuName;
};

const Charset kCharsets[] = {
    {"shift_jis", 932, "CP932", "windows-31j"},
    {"gbk", 936, "GBK", "GBK"},
    {"big5", 950, "CP950", "windows-950"},
    {"euc-kr", 51949, "EUC-KR", "EUC-KR"},
    {"windows-1252", 1252, "CP1252", "windows-1252"},
    {"ibm037", 37, "IBM037", "ibm-37"},
};

std::string readData(const std::string& name) {
    const char* dir = std::getenv("QX_BENCH_DATA");
    if (!dir) return std::string();
    std::ifstream in(std::string(dir) + "/" + name, std::ios::binary);
    if (!in) return std::string();
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// One conversion to measure: its input and the three ways of doing it.
struct Job {
    std::string input;
    int fromCodePage;
    int toCodePage;
    const char* iconvFrom;
    const char* iconvTo;
    const char* icuFrom;
    const char* icuTo;
};

void runOurs(benchmark::State& state, const Job& job) {
    if (job.input.empty()) {
        state.SkipWithError("no data: run bench/compare, or set QX_BENCH_DATA");
        return;
    }
    const unsigned char* data = reinterpret_cast<const unsigned char*>(job.input.data());
    const unsigned size = static_cast<unsigned>(job.input.size());
    {
        // Tables are built on first use, once per process: not part of the measurement.
        DataBuffer warm;
        EncodingConvert().convert(job.fromCodePage, job.toCodePage, data, size, warm);
    }
    for (auto _ : state) {
        DataBuffer out;
        EncodingConvert converter;
        converter.convert(job.fromCodePage, job.toCodePage, data, size, out);
        benchmark::DoNotOptimize(out.getData());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

void runIconv(benchmark::State& state, const Job& job) {
    if (job.input.empty()) {
        state.SkipWithError("no data: run bench/compare, or set QX_BENCH_DATA");
        return;
    }
    // //IGNORE: characters the target lacks are skipped inside iconv, as ours drops them.
    iconv_t cd = iconv_open((std::string(job.iconvTo) + "//IGNORE").c_str(), job.iconvFrom);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv_open failed");
        return;
    }
    std::vector<char> out(job.input.size() * 4 + 64);
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(job.input.data());
        size_t inLeft = job.input.size();
        char* o = out.data();
        size_t outLeft = out.size();
        while (inLeft > 0) {
            // With //IGNORE the call may report the skipped characters after using all input.
            if (iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1) || inLeft == 0)
                break;
            // Like our converter, skip what cannot be read and go on.
            ++in;
            --inLeft;
        }
        benchmark::DoNotOptimize(o);
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(job.input.size()));
}

void runIcu(benchmark::State& state, const Job& job) {
    if (job.input.empty()) {
        state.SkipWithError("no data: run bench/compare, or set QX_BENCH_DATA");
        return;
    }
    UErrorCode err = U_ZERO_ERROR;
    UConverter* from = ucnv_open(job.icuFrom, &err);
    UConverter* to = ucnv_open(job.icuTo, &err);
    if (U_FAILURE(err)) {
        state.SkipWithError("ucnv_open failed");
        if (from) ucnv_close(from);
        if (to) ucnv_close(to);
        return;
    }
    std::vector<char> out(job.input.size() * 4 + 64);
    std::vector<UChar> pivot(16384);
    for (auto _ : state) {
        err = U_ZERO_ERROR;
        char* target = out.data();
        const char* source = job.input.data();
        UChar* pivotSource = pivot.data();
        UChar* pivotTarget = pivot.data();
        ucnv_convertEx(to, from, &target, out.data() + out.size(), &source,
                       job.input.data() + job.input.size(), pivot.data(), &pivotSource,
                       &pivotTarget, pivot.data() + pivot.size(), true, true, &err);
        if (U_FAILURE(err)) state.SkipWithError("ucnv_convertEx failed");
        benchmark::DoNotOptimize(target);
    }
    ucnv_close(from);
    ucnv_close(to);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(job.input.size()));
}

void registerJob(const std::string& name, const Job& job) {
    benchmark::RegisterBenchmark((name + "/ours").c_str(), runOurs, job)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((name + "/iconv").c_str(), runIconv, job)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((name + "/icu").c_str(), runIcu, job)
        ->Unit(benchmark::kMillisecond);
}

// Registered before main() runs (benchmark_main calls RunSpecifiedBenchmarks).
const bool g_registered = [] {
    for (const Charset& cs : kCharsets) {
        const std::string key = cs.key;
        const std::string native = readData("enc-" + key + ".bin");
        const std::string utf8 = readData("enc-" + key + ".utf8");
        registerJob("BM_Convert/to_utf8/" + key,
                    {native, cs.codePage, 65001, cs.iconvName, "UTF-8", cs.icuName, "UTF-8"});
        registerJob("BM_Convert/from_utf8/" + key,
                    {utf8, 65001, cs.codePage, "UTF-8", cs.iconvName, "UTF-8", cs.icuName});
    }
    const std::string utf8 = readData("enc-utf.utf8");
    std::string utf16;
    {
        DataBuffer out;
        EncodingConvert().convert(65001, 1200, reinterpret_cast<const unsigned char*>(utf8.data()),
                                  static_cast<unsigned>(utf8.size()), out);
        if (out.getData())
            utf16.assign(reinterpret_cast<const char*>(out.getData()), out.getSize());
    }
    registerJob("BM_Convert/to_utf16/utf",
                {utf8, 65001, 1200, "UTF-8", "UTF-16LE", "UTF-8", "UTF-16LE"});
    registerJob("BM_Convert/from_utf16/utf",
                {utf16, 1200, 65001, "UTF-16LE", "UTF-8", "UTF-16LE", "UTF-8"});
    return true;
}();

} // namespace
