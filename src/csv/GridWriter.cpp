// Writing a grid out as CSV text, and the quoting applied to values when they are set. Rows are
// stored as raw CSV text, so quoting happens when a value goes in, never when the table is saved:
// saving writes the stored lines as they stand, with only their line ends normalised.
#include "csv/Grid.h"

#include "encoding/Charset.h"
#include "encoding/EncodingConvert.h"
#include "file/FileAccess.h"
#include "platform/Platform.h"
#include "text/DataBuffer.h"

#include <cstring>

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

template <class F> void Grid::forEachSavedLine(F&& onLine) {
    lastRow_.clear(); // line ends inside stored rows are normalised below
    // The column-name line is written as it stands; only rows have their line ends normalised.
    if (hasColumnNames && !onLine(headerLine_.getString(), headerLine_.getSize())) return;
    const int n = numRows();
    const char* text;
    int length;
    for (int i = 0; i < n; ++i) {
        if (!rows_.text(i, &text, &length)) continue; // a row without memory writes nothing
        // Only a row holding CR or LF changes when normalised (CR LF pairs alone with crlf off).
        const void* cr = std::memchr(text, '\r', static_cast<size_t>(length));
        const bool change = crlf ? cr || std::memchr(text, '\n', static_cast<size_t>(length))
                                 : cr && std::strstr(static_cast<const char*>(cr), "\r\n");
        // Without memory for a copy of its own, a row that should change is written unchanged.
        if (change && rows_.normaliseLineEnds(i, crlf)) rows_.text(i, &text, &length);
        if (!onLine(text, length)) return;
    }
}

void Grid::saveCsv(const char* charsetName, StringBuffer& out) {
    out.clear();
    const char* lineEnd = crlf ? "\r\n" : "\n";
    const int lineEndLength = crlf ? 2 : 1;

    const int n = numRows();
    const char* text;
    int length;
    long long total = hasColumnNames ? headerLine_.getSize() + lineEndLength : 0;
    for (int i = 0; i < n; ++i)
        if (rows_.text(i, &text, &length)) total += length + lineEndLength;
    // Reserving the whole text up front is only an optimisation; the appends grow as needed.
    if (total < 0x7FFFFFF0LL) out.expectNumBytes(static_cast<int>(total));
    forEachSavedLine([&](const char* line, int size) {
        out.appendN(line, size);
        out.appendN(lineEnd, lineEndLength);
        return true;
    });

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
        StringBuffer text;
        saveCsv(charsetName, text);
        return text.saveToFile(utf8Path, log);
    }

    // Lines are gathered into a piece of about pieceBytes, which is converted on its own and
    // written; the piece's buffers are reused, so memory stays at one piece whatever the size of
    // the table.
    class Content : public FileContent {
    public:
        Content(Grid& grid, int cp, bool convert, int pieceBytes)
            : FileContent(nullptr, 0), grid_(grid), cp_(cp), convert_(convert),
              pieceBytes_(pieceBytes) {}
        bool writeTo(Writer& writer) override {
            const char* lineEnd = grid_.crlf ? "\r\n" : "\n";
            const int lineEndLength = grid_.crlf ? 2 : 1;
            piece_.clear();
            // Room for a whole piece at once (a longer line grows it as needed).
            if (piece_.expectNumBytes(pieceBytes_ + 64))
                platform::prepareToWrite(piece_.getWritableData(), pieceBytes_ + 64);
            bool ok = true;
            grid_.forEachSavedLine([&](const char* line, int size) {
                // A converted piece never starts with a byte-order mark: the converter would
                // take it for the mark of the whole text and drop it.
                if (piece_.getSize() >= pieceBytes_ &&
                    !(convert_ && size >= 3 && std::memcmp(line, "\xEF\xBB\xBF", 3) == 0)) {
                    ok = flush(writer);
                    if (!ok) return false;
                }
                piece_.appendN(line, size);
                piece_.appendN(lineEnd, lineEndLength);
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
