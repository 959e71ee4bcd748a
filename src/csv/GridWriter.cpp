// Writing a grid out as CSV text, and the quoting applied to values when they are set. Rows are
// stored as raw CSV text, so quoting happens when a value goes in, never when the table is saved:
// saving writes the stored lines as they stand, with only their line ends normalised.
#include "csv/Grid.h"

#include "csv/FieldScanner.h"
#include "encoding/Charset.h"
#include "encoding/EncodingConvert.h"
#include "file/FileAccess.h"
#include "platform/Platform.h"
#include "text/DataBuffer.h"

#include <cstring>

namespace {
// Appends line[0..size) and then end[0..endLength) to out, unless the line holds a CR or an LF:
// then out is left as it was and the result is false (the caller normalises the line first).
// The copy and the search are one pass over the line, a block at a time. A line that does not
// fit the room already there is left to the caller too, whose appends grow the buffer by a share
// of its size (rows that gain a CR each when normalised outgrow a reservation made for the
// stored text, and growing by the line alone would copy the whole text once per such row).
bool appendPlainLine(StringBuffer& out, const char* line, int size, const char* end,
                     int endLength) {
    const int at = out.getSize();
    if (size < 0 || static_cast<long long>(at) + size + endLength >= out.getCapacity())
        return false;
    char* to = out.getWritableData() + at;
    int i = 0;
#if defined(QX_FIELD_SCAN_BLOCKS)
    if (size >= 16) {
        const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
        __m128i breaks = _mm_setzero_si128();
        // The last block overlaps the one before it rather than leaving a tail.
        for (;; i += 16) {
            if (i + 16 > size) i = size - 16;
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), v);
            breaks =
                _mm_or_si128(breaks, _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
            if (i + 16 == size) break;
        }
        if (_mm_movemask_epi8(breaks)) return false;
        i = size;
    }
#endif
    for (; i < size; ++i) {
        const char c = line[i];
        if (c == '\r' || c == '\n') return false;
        to[i] = c;
    }
    std::memcpy(to + size, end, static_cast<size_t>(endLength));
    out.setLength(at + size + endLength);
    return true;
}

// toCrlf of text[0..size) into out, which lies apart from text and has room for 2 * size + 16
// bytes: every CR left out, every LF written as CR LF. Returns the end of what was written. The
// text is read 16 bytes at a time while `readable` bytes from text on allow it (the last block
// may run past the text), and each block without CR or LF is copied whole.
char* putCrlfBlocks(const char* text, int size, std::ptrdiff_t readable, char* out) {
    int i = 0;
#if defined(QX_FIELD_SCAN_BLOCKS)
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    // A store reaches at most 16 bytes past out, and out never passes 2 * i: inside the room.
    while (i < size && i + 16 <= readable) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
        unsigned breaks = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        const int left = size - i;
        if (left < 16) breaks &= (1u << left) - 1;
        if (!breaks) {
            const int step = left < 16 ? left : 16;
            i += step;
            out += step;
            continue;
        }
        const int k = __builtin_ctz(breaks);
        out += k;
        i += k;
        if (text[i] == '\n') {
            *out++ = '\r';
            *out++ = '\n';
        }
        ++i;
    }
#else
    (void)readable;
#endif
    for (; i < size; ++i) {
        const char c = text[i];
        if (c == '\r') continue;
        if (c == '\n') *out++ = '\r';
        *out++ = c;
    }
    return out;
}

// A loaded row that held an LF, saved with CR LF line ends: its normalised text is written
// straight into out and then kept as the row's text, instead of being normalised in the store
// and copied out. False, out as it was, when the room already in out may be too small (the
// caller's appends grow it by a share of its size).
bool appendCrlfLine(StringBuffer& out, RowStore& rows, int row, const char* line, int size,
                    const char* end, int endLength) {
    const int at = out.getSize();
    if (size < 0 || static_cast<long long>(at) + 2LL * size + 16 + endLength >= out.getCapacity())
        return false;
    char* to = out.getWritableData() + at;
    int n = static_cast<int>(putCrlfBlocks(line, size, rows.blockEnd() - line, to) - to);
    // A row an earlier save normalised stays as it is. Without memory for its new text the row
    // goes out unchanged, as a row the store cannot normalise does.
    if ((n != size || std::memcmp(to, line, static_cast<size_t>(size)) != 0) &&
        !rows.replaceLoaded(row, to, n)) {
        std::memcpy(to, line, static_cast<size_t>(size));
        n = size;
    }
    to[n] = end[0];
    if (endLength == 2) to[n + 1] = end[1];
    out.setLength(at + n + endLength);
    return true;
}

// Appends the rows from `first` on that lie in the loaded text as they are saved, as many as
// fit the room already in out (RowStore::copyPlainRun); returns how many.
int appendPlainRun(StringBuffer& out, const RowStore& rows, int first, const char* end,
                   int endLength) {
    const int at = out.getSize();
    int written = 0;
    const int done = rows.copyPlainRun(first, out.getWritableData() + at,
                                       static_cast<long long>(out.getCapacity()) - at - 1, end,
                                       endLength, &written);
    if (done > 0) out.setLength(at + written);
    return done;
}

} // namespace

void Grid::quoteIfNeeded(StringBuffer& value) const {
    // Only the delimiter and the double quote cause quoting; line breaks, backslashes and blanks
    // at either end do not, and a backslash is never doubled.
    const bool hasQuote = value.containsChar('"');
    const bool hasDelimiter = value.containsChar(delimiter_);
    if (!hasQuote && !hasDelimiter) return;
    if (hasQuote) value.replaceAll("\"", "\"\"");
    value.prepend("\"");
    value.append("\"");
}

void Grid::normaliseRows(const ExtIntArray& rows) {
    lastRow_.clear(); // the rows' texts move
    for (int i = 0; i < rows.getSize(); ++i)
        rows_.normaliseLineEnds(rows.elementAt(i), crlf);
}

template <class F> void Grid::saveLinesInto(StringBuffer& out, F&& beforeLine, ExtIntArray* later) {
    lastRow_.clear(); // line ends inside stored rows are normalised below (or after the write)
    const char* lineEnd = crlf ? "\r\n" : "\n";
    const int lineEndLength = crlf ? 2 : 1;
    // The column-name line is written as it stands; only rows have their line ends normalised.
    if (hasColumnNames) {
        if (!beforeLine(headerLine_.getString(), headerLine_.getSize())) return;
        out.appendN(headerLine_.getString(), headerLine_.getSize());
        out.appendN(lineEnd, lineEndLength);
    }
    const int n = numRows();
    const char* text;
    int length;
    for (int i = 0; i < n; ++i) {
        if (!rows_.text(i, &text, &length)) continue; // a row without memory writes nothing
        if (!beforeLine(text, length)) return;
        // Loaded rows without line breaks of their own go out as the stretch of text they make
        // (beforeLine is then told only of the first). A row loaded with an LF never starts one.
        const bool loadedWithLf = rows_.loadedWithLf(i);
        if (const int done =
                loadedWithLf ? 0 : appendPlainRun(out, rows_, i, lineEnd, lineEndLength)) {
            i += done - 1;
            continue;
        }
        // Nearly every other row holds neither CR nor LF and goes out as it is; a row loaded
        // with an LF (unless a trim or an earlier save took it or normalised it) changes with
        // crlf on, so it goes straight to normalising, which leaves a row with nothing to change
        // as it is (with `later`, the path below does, which leaves the store alone).
        const bool withLf = crlf && loadedWithLf;
        if (withLf && !later ? appendCrlfLine(out, rows_, i, text, length, lineEnd, lineEndLength)
                             : appendPlainLine(out, text, length, lineEnd, lineEndLength))
            continue;
        // Only a row holding CR or LF changes when normalised (CR LF pairs alone with crlf off).
        const void* cr = withLf ? nullptr : std::memchr(text, '\r', static_cast<size_t>(length));
        const bool change =
            withLf || (crlf ? cr || std::memchr(text, '\n', static_cast<size_t>(length))
                            : cr && std::strstr(static_cast<const char*>(cr), "\r\n"));
        // Without memory for a copy of its own, a row that should change is written unchanged.
        if (change && later) {
            // The row changes after the write; until then a normalised copy goes out.
            StringBuffer copy;
            copy.appendN(text, length);
            if (copy.getSize() == length && later->append(i)) {
                if (crlf)
                    copy.toCrlf();
                else
                    copy.toLf();
                out.appendSb(copy);
                out.appendN(lineEnd, lineEndLength);
                continue;
            }
        } else if (change && rows_.normaliseLineEnds(i, crlf)) {
            rows_.text(i, &text, &length);
        }
        out.appendN(text, length);
        out.appendN(lineEnd, lineEndLength);
    }
}

void Grid::saveCsv(const char* charsetName, StringBuffer& out, ExtIntArray* later) {
    out.clear();
    const int lineEndLength = crlf ? 2 : 1;

    const int n = numRows();
    const char* text;
    int length;
    long long total = hasColumnNames ? headerLine_.getSize() + lineEndLength : 0;
    for (int i = 0; i < n; ++i)
        if (rows_.text(i, &text, &length)) total += length + lineEndLength;
    // Reserving the whole text up front is only an optimisation; the appends grow as needed.
    // Rows that hold LFs gain a CR for each when normalised: a sixteenth more is reserved where
    // it can be had, so that a table of such rows is not copied over once it outgrows the
    // stored text. A large text is written into fresh memory: its pages are asked for in one
    // call, not faulted in one at a time by the appends.
    if (total < 0x7FFFFFF0LL &&
        out.expectNumBytes(static_cast<int>(total), static_cast<int>(total / 16)) &&
        total >= (1 << 20))
        platform::prepareToWrite(out.getWritableData() + out.getSize(), static_cast<size_t>(total));
    saveLinesInto(
        out, [](const char*, int) { return true; }, later);

    Charset cs;
    cs.setByName(charsetName);
    const int cp = cs.getCodePage();
    if (cp != 0 && cp != 65001) out.convertEncoding(65001, cp);
}

bool Grid::saveCsvToFile(const char* charsetName, const char* utf8Path, LogBase* log,
                         int pieceBytes) {
    Charset cs;
    cs.setByName(charsetName);
    const int cp = cs.getCodePage();
    const bool convert = cp != 0 && cp != 65001;
    if (convert && !EncodingConvert::encodesByLines(cp)) {
        // The stored rows are normalised once the file is written: a save that fails leaves the
        // table as it was.
        ExtIntArray later;
        StringBuffer text;
        saveCsv(charsetName, text, &later);
        if (!text.saveToFile(utf8Path, log)) return false;
        normaliseRows(later);
        return true;
    }

    // Lines are gathered into a piece of about pieceBytes, which is converted on its own and
    // written; the piece's buffers are reused, so memory stays at one piece whatever the size of
    // the table. The stored rows are normalised as they go out (their normalised text is kept
    // where it was written), so they change only once the file is open: a file that cannot be
    // opened leaves the table as it was. A write that fails partway (a full disk) leaves the rows
    // before that point as a successful save would have left them. (Normalising them after the
    // write instead takes a second pass over each such row: about two thirds more work to save
    // a table in which one row in seven holds a line break.)
    class Content : public FileContent {
    public:
        Content(Grid& grid, int cp, bool convert, int pieceBytes)
            : FileContent(nullptr, 0), grid_(grid), cp_(cp), convert_(convert),
              pieceBytes_(pieceBytes) {}
        bool writeTo(Writer& writer) override {
            piece_.clear();
            // Room for a whole piece at once (a longer line grows it as needed).
            if (piece_.expectNumBytes(pieceBytes_ + 64))
                platform::prepareToWrite(piece_.getWritableData(), pieceBytes_ + 64);
            bool ok = true;
            grid_.saveLinesInto(piece_, [&](const char* line, int size) {
                // A converted piece never starts with a byte-order mark: the converter would
                // take it for the mark of the whole text and drop it.
                if (piece_.getSize() >= pieceBytes_ &&
                    !(convert_ && size >= 3 && std::memcmp(line, "\xEF\xBB\xBF", 3) == 0)) {
                    ok = flush(writer);
                    if (!ok) return false;
                }
                return true;
            });
            return ok && flush(writer);
        }

    private:
        bool flush(Writer& writer) {
            const unsigned char* data = reinterpret_cast<const unsigned char*>(piece_.getString());
            unsigned size = static_cast<unsigned>(piece_.getSize());
            if (convert_ && size > 0) {
                // Whatever the conversion produced is written, also when characters were dropped.
                converted_.clear();
                EncodingConvert().convert(65001, cp_, data, size, converted_);
                data = converted_.getData();
                size = converted_.getSize();
            }
            const bool ok = writer.write(data, size);
            piece_.clear();
            return ok;
        }

        Grid& grid_;
        const int cp_;
        const bool convert_;
        const int pieceBytes_;
        StringBuffer piece_;
        DataBuffer converted_;
    } content(*this, cp, convert, pieceBytes);
    return FileAccess::writeWholeFile(utf8Path, content, log);
}
