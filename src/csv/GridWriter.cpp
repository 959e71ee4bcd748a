// Writing a grid out as CSV text, and the quoting applied to values when they are set. Rows are
// stored as raw CSV text, so quoting happens when a value goes in, never when the table is saved:
// saving writes the stored lines as they stand, with only their line ends normalised.
#include "csv/Grid.h"

#include "encoding/Charset.h"

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

void Grid::saveCsv(const char* charsetName, StringBuffer& out) {
    lastRow_.clear(); // line ends inside stored rows are normalised below
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

    // The column-name line is written as it stands; only rows have their line ends normalised.
    if (hasColumnNames) {
        out.appendSb(headerLine_);
        out.appendN(lineEnd, lineEndLength);
    }
    for (int i = 0; i < n; ++i) {
        if (!rows_.text(i, &text, &length)) continue; // a row without memory writes nothing
        // Only a row holding CR or LF changes when normalised (CR LF pairs alone with crlf off).
        const void* cr = std::memchr(text, '\r', static_cast<size_t>(length));
        const bool change = crlf ? cr || std::memchr(text, '\n', static_cast<size_t>(length))
                                 : cr && std::strstr(static_cast<const char*>(cr), "\r\n");
        StringBuffer* row = change ? rows_.editable(i) : nullptr;
        if (row) {
            if (crlf)
                row->toCrlf();
            else
                row->toLf();
            text = row->getString();
            length = row->getSize();
        }
        // Without memory for a copy of its own, a row that should change is written unchanged.
        out.appendN(text, length);
        out.appendN(lineEnd, lineEndLength);
    }

    Charset cs;
    cs.setByName(charsetName);
    const int cp = cs.getCodePage();
    if (cp != 0 && cp != 65001) out.convertEncoding(65001, cp);
}
