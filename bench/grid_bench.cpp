// Loading and reading a large table: about 50 MB of CSV, 10 columns, a mix of plain and quoted
// fields (some holding delimiters, doubled quotes and line breaks). Rows are kept as raw text and
// split on demand, so counting columns and reading cells each cost a pass over the row.
#include "csv/Grid.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

namespace {

const int kColumns = 10;
const std::size_t kTargetBytes = 50u * 1024u * 1024u;

// A deterministic generator (xorshift), so every run measures the same text.
struct Rng {
    uint32_t s = 2463534242u;
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
};

std::string makeField(Rng& rng) {
    static const char* const words[] = {
        "alpha", "beta",       "1234.50",           "Zurich",           "n/a",
        "x",     "2024-01-31", "\xC3\xA9t\xC3\xA9", "lorem ipsum dolor"};
    std::string w = words[rng.next() % (sizeof words / sizeof words[0])];
    switch (rng.next() % 8) {
    case 0:
        return "\"" + w + ", " + w + "\""; // quoted, holding the delimiter
    case 1:
        return "\"say \"\"" + w + "\"\"\""; // quoted, with doubled quotes
    case 2:
        return "\"" + w + "\n" + w + "\""; // quoted line break
    default:
        return w;
    }
}

const std::string& csvText() {
    static const std::string text = [] {
        std::string t;
        t.reserve(kTargetBytes + 4096);
        Rng rng;
        while (t.size() < kTargetBytes) {
            for (int c = 0; c < kColumns; ++c) {
                if (c) t += ',';
                t += makeField(rng);
            }
            t += "\r\n";
        }
        return t;
    }();
    return text;
}

void loadInto(Grid& g) {
    StringBuffer sb;
    sb.appendN(csvText().data(), static_cast<int>(csvText().size()));
    g.clear();
    g.loadCsv(sb, ',');
}

void BM_LoadCsv(benchmark::State& state) {
    const std::string& text = csvText();
    for (auto _ : state) {
        // Copying the text in and destroying the grid afterwards are not part of loading.
        state.PauseTiming();
        auto g = std::make_unique<Grid>();
        auto sb = std::make_unique<StringBuffer>();
        sb->appendN(text.data(), static_cast<int>(text.size()));
        state.ResumeTiming();
        benchmark::DoNotOptimize(g->loadCsv(*sb, ','));
        state.PauseTiming();
        g.reset();
        sb.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_LoadCsv)->Unit(benchmark::kMillisecond);

void BM_CountColumnsOfEveryRow(benchmark::State& state) {
    Grid g;
    loadInto(g);
    for (auto _ : state) {
        // A change of delimiter discards the memoised counts, so every row is counted again.
        g.setDelimiter(';');
        g.setDelimiter(',');
        int64_t total = 0;
        for (int r = 0; r < g.numRows(); ++r)
            total += g.getNumColumns(r);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(csvText().size()));
    state.counters["rows"] = g.numRows();
}
BENCHMARK(BM_CountColumnsOfEveryRow)->Unit(benchmark::kMillisecond);

void BM_ReadEveryCell(benchmark::State& state) {
    Grid g;
    loadInto(g);
    StringBuffer cell;
    for (auto _ : state) {
        int64_t bytes = 0;
        for (int r = 0; r < g.numRows(); ++r)
            for (int c = 0; c < kColumns; ++c) {
                g.getCell(r, c, cell);
                bytes += cell.getSize();
            }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(csvText().size()));
    state.counters["cells"] = static_cast<double>(g.numRows()) * kColumns;
}
BENCHMARK(BM_ReadEveryCell)->Unit(benchmark::kMillisecond);

// Saving a table as loaded, to a string, for three layouts of the same rows: the mixed table
// (CR LF line ends, some rows holding line breaks), the same with LF line ends (each row saved
// with a CR LF it did not have), and every row ending in a lone CR (CR CR LF), which no row can
// be copied along with and which costs a pass over each row.
void BM_SaveLoaded(benchmark::State& state) {
    std::string text = csvText();
    if (state.range(0) == 1) {
        std::string lf;
        for (char c : text)
            if (c != '\r') lf += c;
        text.swap(lf);
    } else if (state.range(0) == 2) {
        std::string cr;
        for (char c : text) {
            if (c == '\n') cr += '\r';
            cr += c;
        }
        text.swap(cr);
    }
    for (auto _ : state) {
        state.PauseTiming(); // a save normalises the rows, so each round loads afresh
        auto g = std::make_unique<Grid>();
        StringBuffer in, out;
        in.appendN(text.data(), static_cast<int>(text.size()));
        g->loadCsvTaking(in, ',');
        state.ResumeTiming();
        g->saveCsv("utf-8", out);
        benchmark::DoNotOptimize(out.getSize());
        state.PauseTiming();
        g.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_SaveLoaded)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace
