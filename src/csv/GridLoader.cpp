// Grid::loadCsv: cuts a whole UTF-8 text into raw row texts, takes the column-name line apart,
// drops trailing blank lines and detects the delimiter.
//
// The rows stay where they lie in the text: the grid keeps the whole text in one block and each
// row is a stretch of it, ended by a NUL written over its line end (see RowStore). CR LF pairs
// are not folded in a pass of their own: a line's CR LF end is cut off with the line end, and
// the few lines that hold a CR LF inside (in quotes or escaped) are folded where they lie.
#include "csv/ByteMasks.h"
#include "csv/FieldScanner.h"
#include "csv/Grid.h"
#include "platform/Memory.h"
#include "platform/Platform.h"
#include "text/ExtPtrArray.h"
#include "text/QuenlixInt.h"

#include <cstring>

namespace {
// ',' when the line holds more commas than semicolons, else ';' (a tie, none of either included).
// Every byte of the raw line counts, inside quotes too.
char detectDelimiter(const char* line, int length) {
    int commas = 0, semicolons = 0;
    for (int i = 0; i < length; ++i) {
        commas += line[i] == ',';
        semicolons += line[i] == ';';
    }
    return commas > semicolons ? ',' : ';';
}

// Cuts text[0..length) into lines exactly as splitting it at LF (quotes and backslash escapes
// honoured, up to the first NUL) would after every CR LF pair had been turned into LF. Folding
// takes the CR out of each CR LF pair, so: an LF preceded by a CR ends a line whose text stops
// before the CR; and a backslash followed by CR LF escapes the LF. Calls onLine(start, end, fold,
// inner) for each line, in order, until it returns false: [start, end) is the line without its line
// end, fold tells that CR LF pairs inside the line (quoted or escaped) still need folding, and
// inner that the line holds an LF of its own (quoted or escaped, folded pairs included), which a
// save normalises. (Fields are not looked at: the grid indexes a row's fields when it is first
// read.)
//
// With copyTo, the text is copied there as it is cut, a block at a time ahead of the lines found
// in it, so that the copy and the cut are one pass over the text; onLine then works on the copy.
// copied() tells how much was copied when the cut stopped (the caller copies the rest).
template <class F> class LineCutter {
public:
    LineCutter(const char* text, int length, F& onLine, char* copyTo)
        : text_(text), length_(length), onLine_(onLine), copyTo_(copyTo) {}

    int copied() const { return copied_; }

    void run() {
#if defined(QX_FIELD_SCAN_BLOCKS)
        // Only LF, quotes, backslashes and NUL matter; they are found a block at a time. A block
        // without backslashes and without CR LF inside quotes (nearly every block) is settled
        // with bit masks: the quote state at each byte is the parity of the quotes before it, and
        // an LF outside quotes ends a line. Other blocks go byte by byte through the hits.
        int next = 0; // bytes before this position are escaped or already passed
        using Word = ByteMasks::Word;
        const int kBits = ByteMasks::kBits;
        for (int base = 0; base < length_; base += kBits) {
            if (copyTo_) {
                // Whole blocks go as one fixed-size move.
                if (length_ - base >= kBits)
                    std::memcpy(copyTo_ + base, text_ + base, kBits);
                else
                    std::memcpy(copyTo_ + base, text_ + base, static_cast<size_t>(length_ - base));
                copied_ = length_ - base >= kBits ? base + kBits : length_;
            }
            const ByteMasks m(text_, base, length_, '\n', '"', '\\');
            const Word passed = next <= base ? 0 : ByteMasks::below(next - base);
            const Word nul = m.nul & ~passed;
            const int stop = nul ? ByteMasks::lowest(nul) : kBits;
            const Word live = ByteMasks::below(stop) & ~passed;
            Word lf = m.a & live;
            const Word q = m.b & live;
            const Word b = m.c & live;
            const Word parity = ByteMasks::prefixParity(q);
            const Word inside = inQuotes_ ? ~parity : parity;
            // An LF inside quotes is an ordinary byte, unless a CR comes before it: that pair
            // is folded, which the byte path notes.
            bool crLfInQuotes = false;
            for (Word quoted = lf & inside; quoted; quoted &= quoted - 1) {
                const int p = base + ByteMasks::lowest(quoted);
                crLfInQuotes = crLfInQuotes || (p > 0 && text_[p - 1] == '\r');
            }
            if (!b && !crLfInQuotes) {
                // Each quoted LF belongs to the line that is open where it stands.
                Word quotedLf = lf & inside;
                lf &= ~inside;
                while (lf) {
                    const int r = ByteMasks::lowest(lf);
                    lf &= lf - 1;
                    const Word before = ByteMasks::below(r);
                    if (quotedLf & before) {
                        inner_ = true;
                        quotedLf &= ~before;
                    }
                    if (!lineEnd(base + r)) return;
                }
                if (quotedLf) inner_ = true;
                inQuotes_ = inQuotes_ != ByteMasks::top(parity);
            } else {
                Word hits = lf | q | b;
                while (hits) {
                    const int p = base + ByteMasks::lowest(hits);
                    hits &= hits - 1;
                    if (p < next) continue;
                    next = at(p);
                    if (next < 0) return;
                }
            }
            if (stop < kBits) {
                endText(base + stop);
                return;
            }
        }
#else
        if (copyTo_) {
            std::memcpy(copyTo_, text_, static_cast<size_t>(length_));
            copied_ = length_;
        }
        for (int p = 0;;) {
            p = FieldScanner::findAny(text_, p, length_, '\n', '"', '\\', '\n');
            if (p >= length_) break;
            p = at(p);
            if (p < 0) return;
        }
#endif
        endText(length_);
    }

private:
    // Handles the LF, quote, backslash or NUL at p; returns where the scan goes on, or -1 when
    // the text or the caller stops here.
    int at(int p) {
        const char c = text_[p];
        if (c == 0) {
            endText(p);
            return -1;
        }
        if (c == '\\') {
            // The next byte of the folded text is ordinary; the text may end right here.
            if (p + 1 >= length_ || text_[p + 1] == 0) {
                endText(p + 1);
                return -1;
            }
            if (text_[p + 1] == '\r' && p + 2 < length_ && text_[p + 2] == '\n') {
                fold_ = inner_ = true;
                return p + 3;
            }
            if (text_[p + 1] == '\n') inner_ = true;
            return p + 2;
        }
        if (c == '"') {
            inQuotes_ = !inQuotes_;
            return p + 1;
        }
        if (inQuotes_) {
            if (text_[p - 1] == '\r') fold_ = true; // a quote opened this line before p
            inner_ = true;
            return p + 1;
        }
        return lineEnd(p) ? p + 1 : -1;
    }

    // The LF at p ends a line (and with a CR before it, the CR goes with the line end).
    bool lineEnd(int p) {
        const int end = p > start_ && text_[p - 1] == '\r' ? p - 1 : p;
        if (!onLine_(start_, end, fold_, inner_)) return false;
        start_ = p + 1;
        fold_ = inner_ = false;
        return true;
    }

    // The text ends at `end`: the last line.
    void endText(int end) {
        onLine_(start_, end, fold_, inner_);
    }

    const char* text_;
    int length_;
    F& onLine_;
    char* copyTo_;
    int copied_ = 0;
    int start_ = 0;
    bool inQuotes_ = false;
    bool fold_ = false;
    bool inner_ = false;
};

// Cuts text as LineCutter does; with copyTo, the text is first copied there, in the same pass
// (all of it, also what lies behind where the cut stopped), and onLine works on the copy.
template <class F> void cutLines(const char* text, int length, char* copyTo, F&& onLine) {
    LineCutter<F> cutter(text, length, onLine, copyTo);
    cutter.run();
    if (copyTo && cutter.copied() < length)
        std::memcpy(copyTo + cutter.copied(), text + cutter.copied(),
                    static_cast<size_t>(length - cutter.copied()));
}

// Turns every CR LF pair of text[0..length) into LF, in place; returns the new length.
int foldCrLf(char* text, int length) {
    int to = 0;
    for (int from = 0; from < length; ++from)
        if (!(text[from] == '\r' && from + 1 < length && text[from + 1] == '\n'))
            text[to++] = text[from];
    return to;
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
    // The grid's own copy is cut into rows; the caller's text only has its CR LF pairs folded.
    const int rows = loadCsvCopy(text.getString(), text.getSize(), initialDelimiter);
    crlfToLf(text);
    return rows;
}

int Grid::loadCsvCopy(const char* text, int length, char initialDelimiter) {
    if (!text || length < 0) length = 0;
    char* block = static_cast<char*>(qxAlloc(static_cast<size_t>(length) + 1));
    if (block) {
        platform::prepareToWrite(block, static_cast<size_t>(length) + 1);
        block[length] = 0;
    }
    // Without memory for the copy the load yields no rows, as when the first row cannot be had.
    return loadBlock(block, block ? length : 0, length + 1, initialDelimiter, text);
}

int Grid::loadCsvTaking(StringBuffer& text, char initialDelimiter) {
    const int length = text.getSize();
    int capacity = 0;
    char* block = text.releaseBlock(&capacity);
    return loadBlock(block, block ? length : 0, capacity, initialDelimiter);
}

int Grid::loadBlock(char* block, int length, int capacity, char initialDelimiter,
                    const char* source) {
    lastRow_.clear();
    index_.clear();
    indexFailed_ = false;
    rowAsked_ = -1;
    delimiter_ = initialDelimiter;
    rows_.clear();
    colCountCache_.clear();
    columnIndex_.hashClear();
    rows_.adoptBlock(block, length + 1, capacity);

    // Step by step as splitting the folded text: the rows, the column-name line taken apart.
    // An empty text has no line at all. When the table cannot grow, the rows made so far stay.
    bool header = hasColumnNames;
    bool haveHeader = false;
    if (length > 0) {
        cutLines(source ? source : block, length, source ? block : nullptr,
                 [&](int start, int end, bool fold, bool inner) {
                     if (fold) end = start + foldCrLf(block + start, end - start);
                     block[end] = 0;
                     if (header) {
                         header = false;
                         haveHeader = true;
                         headerLine_.clear();
                         headerLine_.appendN(block + start, end - start);
                         return true;
                     }
                     return rows_.appendStretch(start, end - start, inner);
                 });
    }

    bool detectedFromHeader = false;
    if (haveHeader) {
        if (!delimiterSet_) {
            delimiter_ = detectDelimiter(headerLine_.getString(), headerLine_.getSize());
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
    const char* text;
    int textLength;
    while (rows_.size() > 0) {
        const int last = rows_.size() - 1;
        rows_.trim(last);
        if (rows_.text(last, &text, &textLength) && textLength != 0) break;
        rows_.removeLast();
    }

    const int n = rows_.size();
    if (n > 0 && !delimiterSet_ && !detectedFromHeader && rows_.text(0, &text, &textLength))
        delimiter_ = detectDelimiter(text, textLength);

    // The field-count memo starts empty: a row without an entry is counted when first asked,
    // as one with -1 would be, and entries are made as rows are counted. Filling one entry per
    // row here would write memory of the size of the row table on every load, also for a load
    // that only converts and saves.
    return n;
}
