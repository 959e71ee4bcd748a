// Converts arbitrary bytes between two code pages picked by the first two bytes: every code page
// that a charset name stands for, plus the Unicode forms and the stateful Japanese ones.
#include "encoding/Charset.h"
#include "encoding/EncodingConvert.h"
#include "text/DataBuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {
const std::vector<int>& codePages() {
    static const std::vector<int> pages = [] {
        std::vector<int> v = {1200, 1201, 65000, 65001, 65005, 65006, 50220, 50225};
        const int n = charsetNameCount();
        for (int i = 0; i < n; ++i) {
            int cp = 0;
            charsetNameAt(i, &cp);
            bool seen = false;
            for (int have : v)
                seen = seen || have == cp;
            if (!seen) v.push_back(cp);
        }
        return v;
    }();
    return pages;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 65536) return 0;
    const std::vector<int>& pages = codePages();
    const int from = pages[data[0] % pages.size()];
    const int to = pages[data[1] % pages.size()];
    data += 2;
    size -= 2;

    EncodingConvert converter;
    DataBuffer out;
    converter.convert(from, to, data, static_cast<unsigned>(size), out);
    if (out.getSize() > 0 && out.getData() == nullptr) std::abort();
    if (out.getSize() > out.getCapacity()) std::abort();
    // Touch every output byte so that a length past the block shows under the sanitizers.
    unsigned sum = 0;
    for (unsigned i = 0; i < out.getSize(); ++i)
        sum += out.getData()[i];
    volatile unsigned sink = sum;
    (void)sink;
    return 0;
}
