// Runs one line through the four fast field scanners of StringBuffer and through their plain
// byte-by-byte forms in FieldScanner; every result must be equal, byte for byte.
#include "csv/FieldScanner.h"
#include "text/ExtPtrArray.h"
#include "text/StringBuffer.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
void differ(const char* what) {
    std::fprintf(stderr, "fast and plain scanners differ in %s\n", what);
    std::abort();
}

bool same(const StringBuffer& a, const StringBuffer& b) {
    return a.getSize() == b.getSize() &&
           std::memcmp(a.getString(), b.getString(), static_cast<size_t>(a.getSize())) == 0;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > 20000) return 0;
    // Byte 0: delimiter; byte 1: quote/backslash switches and the field index; byte 2: the length
    // of the value for setNthField, taken from the end of the input.
    static const char kDelimiters[] = {',', ';', '\t', '|', '"', '\\', '\0'};
    const uint8_t d0 = data[0];
    const char delimiter = d0 < 7 ? kDelimiters[d0] : static_cast<char>(d0);
    const bool quotes = (data[1] & 1) != 0;
    const bool backslash = (data[1] & 2) != 0;
    const int index = (data[1] >> 2) - 2; // -2 .. 61
    size_t valueLength = data[2] % 32;
    data += 3;
    size -= 3;
    if (valueLength > size) valueLength = size;
    const std::string lineBytes(reinterpret_cast<const char*>(data), size - valueLength);
    const std::string valueBytes(reinterpret_cast<const char*>(data) + size - valueLength,
                                 valueLength);

    // Built with appendN so that NUL bytes stay inside the buffer: the scanners must stop there.
    StringBuffer line;
    line.appendN(lineBytes.data(), static_cast<int>(lineBytes.size()));
    StringBuffer value;
    value.appendN(valueBytes.data(), static_cast<int>(valueBytes.size()));

    ExtPtrArray fast;
    ExtPtrArray plain;
    line.split(fast, delimiter, quotes, backslash);
    FieldScanner::referenceSplit(line, plain, delimiter, quotes, backslash);
    if (fast.getSize() != plain.getSize()) differ("split (count)");
    for (int i = 0; i < fast.getSize(); ++i) {
        const StringBuffer* a = static_cast<const StringBuffer*>(fast.elementAt(i));
        const StringBuffer* b = static_cast<const StringBuffer*>(plain.elementAt(i));
        if ((a == nullptr) != (b == nullptr) || (a && !same(*a, *b))) differ("split (piece)");
    }
    fast.removeAllObjects();
    plain.removeAllObjects();

    const int count = line.countFields(delimiter, quotes, backslash);
    if (count != FieldScanner::referenceCountFields(line, delimiter, quotes, backslash))
        differ("countFields");
    if (count < 0) differ("countFields (negative)");

    StringBuffer fastField;
    StringBuffer plainField;
    for (int i = -1; i <= count && i < 64; ++i) {
        fastField.clear();
        plainField.clear();
        line.getNthField(i, delimiter, quotes, backslash, fastField);
        FieldScanner::referenceGetNthField(line, i, delimiter, quotes, backslash, plainField);
        if (!same(fastField, plainField)) differ("getNthField");
    }

    StringBuffer fastLine(line);
    StringBuffer plainLine(line);
    fastLine.setNthField(index, delimiter, quotes, backslash, value);
    FieldScanner::referenceSetNthField(plainLine, index, delimiter, quotes, backslash, value);
    if (!same(fastLine, plainLine)) differ("setNthField");
    return 0;
}
