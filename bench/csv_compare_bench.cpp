// The CSV side of bench/compare: loading the synthetic tables and reading every cell through the
// component's calls, loading, editing and saving, a plain single-pass reader of our own as a
// reference, the cost of reading wide rows cell by cell, and the peak memory of a file load.
//
// The data files come from bench/compare (QX_BENCH_DATA names their folder); without them the
// file-based benchmarks report an error and the others still run.
#include "csv/ClsCsv.h"
#include "csv/Grid.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string dataPath(const std::string& name) {
    const char* dir = std::getenv("QX_BENCH_DATA");
    return dir ? std::string(dir) + "/" + name : std::string();
}

// The whole file, or an empty string when it cannot be read.
const std::string& fileText(const std::string& name) {
    static std::map<std::string, std::string> cache;
    auto it = cache.find(name);
    if (it != cache.end()) return it->second;
    std::string text;
    std::ifstream in(dataPath(name), std::ios::binary);
    if (in) {
        std::ostringstream s;
        s << in.rdbuf();
        text = s.str();
    }
    return cache.emplace(name, std::move(text)).first->second;
}

const std::string& variantText(int variant) {
    return fileText(variant == 0 ? "ascii.csv" : "ja.csv");
}

const char* variantName(int variant) {
    return variant == 0 ? "ascii" : "ja";
}

bool haveData(benchmark::State& state, const std::string& text) {
    if (!text.empty()) return true;
    state.SkipWithError("no data: run bench/compare, or set QX_BENCH_DATA");
    return false;
}

// ---- LoadFromString, then every cell through GetCell -----------------------------------------

void BM_ReadEveryCell(benchmark::State& state, int variant) {
    const std::string& text = variantText(variant);
    if (!haveData(state, text)) return;
    XString input;
    input.setFromUtf8(text.c_str());
    int64_t cells = 0;
    for (auto _ : state) {
        auto owner = std::make_unique<ClsCsv>();
        ClsCsv& csv = *owner;
        csv.LoadFromString(input);
        XString cell;
        int64_t bytes = 0;
        cells = 0;
        const int rows = csv.get_NumRows();
        for (int r = 0; r < rows; ++r) {
            const int cols = csv.GetNumCols(r);
            for (int c = 0; c < cols; ++c) {
                csv.GetCell(r, c, cell);
                bytes += cell.getUtf8Sb().getSize();
                ++cells;
            }
        }
        benchmark::DoNotOptimize(bytes);
        state.PauseTiming(); // the object's destruction is not part of reading
        owner.reset();
        state.ResumeTiming();
    }
    state.counters["cells"] = static_cast<double>(cells);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK_CAPTURE(BM_ReadEveryCell, ascii, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadEveryCell, ja, 1)->Unit(benchmark::kMillisecond);

// The same one level down: Grid::loadCsv and Grid::getCell into a reused buffer.
void BM_GridReadEveryCell(benchmark::State& state, int variant) {
    const std::string& text = variantText(variant);
    if (!haveData(state, text)) return;
    for (auto _ : state) {
        state.PauseTiming();
        auto grid = std::make_unique<Grid>();
        StringBuffer sb;
        sb.appendN(text.data(), static_cast<int>(text.size()));
        state.ResumeTiming();
        grid->loadCsv(sb, ',');
        StringBuffer cell;
        int64_t bytes = 0;
        for (int r = 0; r < grid->numRows(); ++r) {
            const int cols = grid->getNumColumns(r);
            for (int c = 0; c < cols; ++c) {
                grid->getCell(r, c, cell);
                bytes += cell.getSize();
            }
        }
        benchmark::DoNotOptimize(bytes);
        state.PauseTiming();
        grid.reset();
        state.ResumeTiming();
    }
}
BENCHMARK_CAPTURE(BM_GridReadEveryCell, ascii, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GridReadEveryCell, ja, 1)->Unit(benchmark::kMillisecond);

// Loading alone, for the breakdown of the two above.
void BM_GridLoadOnly(benchmark::State& state, int variant) {
    const std::string& text = variantText(variant);
    if (!haveData(state, text)) return;
    for (auto _ : state) {
        state.PauseTiming();
        auto grid = std::make_unique<Grid>();
        StringBuffer sb;
        sb.appendN(text.data(), static_cast<int>(text.size()));
        state.ResumeTiming();
        benchmark::DoNotOptimize(grid->loadCsv(sb, ','));
        state.PauseTiming();
        grid.reset();
        state.ResumeTiming();
    }
}
BENCHMARK_CAPTURE(BM_GridLoadOnly, ascii, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GridLoadOnly, ja, 1)->Unit(benchmark::kMillisecond);

// ---- a plain reference reader -----------------------------------------------------------------
// One pass over the text in the same dialect (CR LF as LF, quotes with doubled quotes, backslash
// escapes), every cell materialised as a std::string of its own.
void referenceRead(const std::string& text, std::vector<std::string>& cells) {
    cells.clear();
    std::string cell;
    bool inQuotes = false;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < n) {
            cell += text[++i];
        } else if (c == '"') {
            if (inQuotes && i + 1 < n && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else {
                inQuotes = !inQuotes;
            }
        } else if (inQuotes) {
            if (!(c == '\r' && i + 1 < n && text[i + 1] == '\n')) cell += c;
        } else if (c == ',') {
            cells.push_back(std::move(cell));
            cell.clear();
        } else if (c == '\n' || (c == '\r' && i + 1 < n && text[i + 1] == '\n')) {
            if (c == '\r') ++i;
            cells.push_back(std::move(cell));
            cell.clear();
        } else {
            cell += c;
        }
    }
    if (!cell.empty()) cells.push_back(std::move(cell));
}

void BM_ReferenceReader(benchmark::State& state, int variant) {
    const std::string& text = variantText(variant);
    if (!haveData(state, text)) return;
    std::vector<std::string> cells;
    for (auto _ : state) {
        referenceRead(text, cells);
        int64_t bytes = 0;
        for (const std::string& c : cells)
            bytes += static_cast<int64_t>(c.size());
        benchmark::DoNotOptimize(bytes);
        state.PauseTiming();
        std::vector<std::string>().swap(cells); // freeing is not part of reading
        state.ResumeTiming();
    }
}
BENCHMARK_CAPTURE(BM_ReferenceReader, ascii, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReferenceReader, ja, 1)->Unit(benchmark::kMillisecond);

// ---- load, change 10% of the cells, save ------------------------------------------------------
// Cell k (row-major) is changed when k % 10 == 0; every fifth new value holds the delimiter, so
// it is quoted. bench/compare's Python peer makes the same changes.
void BM_LoadEditSave(benchmark::State& state, int variant) {
    const std::string& text = variantText(variant);
    if (!haveData(state, text)) return;
    XString input;
    input.setFromUtf8(text.c_str());
    // The new values are prepared once, as a caller would hold them.
    std::vector<std::unique_ptr<XString>> plain, quoted;
    for (int i = 0; i < 1000; ++i) {
        plain.emplace_back(new XString);
        plain.back()->setFromUtf8(("new" + std::to_string(i)).c_str());
        quoted.emplace_back(new XString);
        quoted.back()->setFromUtf8(("a,b" + std::to_string(i)).c_str());
    }
    int64_t savedBytes = 0;
    for (auto _ : state) {
        auto owner = std::make_unique<ClsCsv>();
        ClsCsv& csv = *owner;
        csv.LoadFromString(input);
        int64_t k = 0;
        const int rows = csv.get_NumRows();
        for (int r = 0; r < rows; ++r) {
            const int cols = csv.GetNumCols(r);
            for (int c = 0; c < cols; ++c, ++k)
                if (k % 10 == 0)
                    csv.SetCell(r, c, k % 50 == 0 ? *quoted[k % 1000] : *plain[k % 1000]);
        }
        XString out;
        csv.SaveToString(out);
        savedBytes = out.getUtf8Sb().getSize();
        state.PauseTiming();
        owner.reset();
        state.ResumeTiming();
    }
    state.counters["saved_bytes"] = static_cast<double>(savedBytes);
}
BENCHMARK_CAPTURE(BM_LoadEditSave, ascii, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadEditSave, ja, 1)->Unit(benchmark::kMillisecond);

// ---- wide rows read cell by cell --------------------------------------------------------------
// About 4 MB of rows of the given width, every cell read once in order. The compare script
// divides the time by the bytes: reading a row cell by cell should cost about the same per byte
// whatever its width.
void BM_RowCellByCell(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    std::string text;
    uint32_t s = 12345;
    while (text.size() < 4u * 1024u * 1024u) {
        for (int c = 0; c < width; ++c) {
            s = s * 1103515245u + 12345u;
            if (c) text += ',';
            if ((s >> 16) % 5 == 0)
                text += "\"q, " + std::to_string(s % 1000) + "\"";
            else
                text += "cell" + std::to_string(s % 100000);
        }
        text += "\n";
    }
    Grid grid;
    StringBuffer sb;
    sb.appendN(text.data(), static_cast<int>(text.size()));
    grid.loadCsv(sb, ',');
    StringBuffer cell;
    for (auto _ : state) {
        int64_t bytes = 0;
        for (int r = 0; r < grid.numRows(); ++r)
            for (int c = 0; c < width; ++c) {
                grid.getCell(r, c, cell);
                bytes += cell.getSize();
            }
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = static_cast<double>(text.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_RowCellByCell)->Arg(8)->Arg(200)->Unit(benchmark::kMillisecond);

// ---- peak memory of a file load ---------------------------------------------------------------
// Run alone in a process (bench/compare does): the peak resident set is reset, the file loaded,
// and the peak minus the resident set before the load reported as a multiple of the file size.
long procStatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
    return -1;
}

void BM_LoadFilePeakMemory(benchmark::State& state, int variant) {
    const std::string path = dataPath(std::string(variantName(variant)) + ".csv");
    std::ifstream probe(path, std::ios::binary | std::ios::ate);
    const double fileBytes = probe ? static_cast<double>(probe.tellg()) : 0;
    if (path.empty() || fileBytes <= 0) {
        state.SkipWithError("no data: run bench/compare, or set QX_BENCH_DATA");
        return;
    }
    double added = 0, total = 0;
    for (auto _ : state) {
        auto csv = std::make_unique<ClsCsv>();
        XString name;
        name.setFromUtf8(path.c_str());
        XString charset;
        charset.setFromUtf8("utf-8");
        { std::ofstream("/proc/self/clear_refs") << "5"; } // resets the peak to the current set
        const long before = procStatusKb("VmRSS");
        const bool ok = variant == 0 ? csv->LoadFile(name) : csv->LoadFile2(name, charset);
        const long peak = procStatusKb("VmHWM");
        if (!ok || csv->get_NumRows() == 0) state.SkipWithError("the load failed");
        added = static_cast<double>(peak - before) * 1024.0 / fileBytes;
        total = static_cast<double>(peak) * 1024.0 / fileBytes;
    }
    state.counters["peak_rss_multiple"] = added;
    state.counters["peak_rss_total_multiple"] = total;
}
BENCHMARK_CAPTURE(BM_LoadFilePeakMemory, ascii, 0)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadFilePeakMemory, ja, 1)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
