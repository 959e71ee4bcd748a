// Grid::loadCsv: cuts a whole UTF-8 text into raw row texts, takes the column-name line apart,
// drops trailing blank lines and detects the delimiter.
#include "csv/Grid.h"

#include "platform/Memory.h"
#include "text/QuenlixInt.h"

#include <cstring>

namespace {
// ',' when the line holds more commas than semicolons, else ';' (a tie, none of either included).
// Every byte of the raw line counts, inside quotes too.
char detectDelimiter(const StringBuffer& line) {
    return line.countChar(',') > line.countChar(';') ? ',' : ';';
}

// Every CR LF pair becomes LF, in place: the text only shrinks, so no second block of the size
// of the whole text is needed while the table is being loaded.
void crlfToLf(StringBuffer& text) {
    const int length = text.getSize();
    char* data = text.getWritableData();
    const char* cr =
        length > 1 ? static_cast<const char*>(std::memchr(data, '\r', length - 1)) : nullptr;
    if (!cr) return;
    int to = static_cast<int>(cr - data);
    int from = to;
    while (from < length) {
        if (data[from] == '\r' && from + 1 < length && data[from + 1] == '\n') {
            data[to++] = '\n';
            from += 2;
            continue;
        }
        // Copy up to the next CR (or the end) in one move.
        const void* next =
            from + 1 < length ? std::memchr(data + from + 1, '\r', length - from - 1) : nullptr;
        const int stop = next ? static_cast<int>(static_cast<const char*>(next) - data) : length;
        std::memmove(data + to, data + from, static_cast<size_t>(stop - from));
        to += stop - from;
        from = stop;
    }
    text.setLength(to);
}
} // namespace

int Grid::loadCsv(StringBuffer& text, char initialDelimiter) {
    lastRow_.clear();
    delimiter_ = initialDelimiter;
    rows_.removeAllObjects();
    colCountCache_.clear();
    columnIndex_.hashClear();

    // A CR that is not followed by LF stays a character of the data.
    crlfToLf(text);
    text.split(rows_, '\n', true, true);

    bool detectedFromHeader = false;
    if (hasColumnNames && rows_.getSize() > 0) {
        StringBuffer* first = static_cast<StringBuffer*>(rows_.removeAt(0));
        if (first) headerLine_.setSb(*first);
        qxDelete(first);
        if (!delimiterSet_) {
            delimiter_ = detectDelimiter(headerLine_);
            detectedFromHeader = true;
        }
        // Names are indexed in column order, so of two equal names the later column wins. The
        // line is cut into its raw fields once (split at the delimiter follows the same quoting
        // and escaping as the field scanners), and each raw field read as field 0 of itself:
        // one pass over the line instead of one per column.
        ExtPtrArray rawFields;
        headerLine_.split(rawFields, delimiter_, true, true);
        StringBuffer name;
        for (int i = 0; i < rawFields.getSize(); ++i) {
            static_cast<StringBuffer*>(rawFields.elementAt(i))
                ->getNthField(0, delimiter_, true, true, name);
            QuenlixInt* number = qxNew<QuenlixInt>(i);
            if (number && !columnIndex_.hashInsert(name, number)) qxDelete(number);
        }
        rawFields.removeAllObjects();
    }

    // Trailing blank lines go; the last line that stays is kept trimmed at both ends.
    while (rows_.getSize() > 0) {
        StringBuffer* last = static_cast<StringBuffer*>(rows_.lastElement());
        if (last) {
            last->trim();
            if (last->getSize() != 0) break;
        }
        qxDelete(static_cast<StringBuffer*>(rows_.pop()));
    }

    const int n = rows_.getSize();
    if (n > 0 && !delimiterSet_ && !detectedFromHeader) {
        const StringBuffer* first = rowText(0);
        if (first) delimiter_ = detectDelimiter(*first);
    }

    // One -1 ("not counted yet") per row; the cache is grown in one step for the whole load.
    const int step = colCountCache_.getGrowthStep();
    if (step < n) colCountCache_.setGrowthStep(n + 25);
    for (int i = 0; i < n; ++i)
        colCountCache_.append(-1);
    colCountCache_.setGrowthStep(step);
    return n;
}
