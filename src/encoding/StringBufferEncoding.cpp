// The encoding operations of StringBuffer, kept with the encoding subsystem that they drive.
#include "encoding/EncodingConvert.h"
#include "text/DataBuffer.h"
#include "text/StringBuffer.h"

void StringBuffer::convertEncoding(int fromCodePage, int toCodePage) {
    checkMarker();
    if (length_ == 0 || fromCodePage == 0 || toCodePage == 0) return;
    // Between equal code pages the conversion gives back its input unchanged (a byte-order mark
    // included), so the text already is the result: no copy of it is made.
    if (fromCodePage == toCodePage) return;
    // Seven-bit text reads the same in code page 437 as in UTF-8, windows-1252 and ISO-8859-1.
    if (fromCodePage == 437 && (toCodePage == 65001 || toCodePage == 1252 || toCodePage == 28591) &&
        is7bit(0))
        return;
    DataBuffer converted;
    EncodingConvert converter;
    // Whatever the conversion produced becomes the text, also when characters were dropped.
    converter.convert(fromCodePage, toCodePage, reinterpret_cast<const unsigned char*>(data_),
                      static_cast<unsigned>(length_), converted);
    // The converted block becomes the text's own: no second copy of a whole file's text.
    takeBytes(converted);
}

void StringBuffer::convertAnsiToUtf8() {
    checkMarker();
    DataBuffer converted;
    converted.ensureBuffer(static_cast<unsigned>(length_) + 32);
    EncodingConvert converter;
    converter.convertFromAnsi(65001, reinterpret_cast<const unsigned char*>(data_),
                              static_cast<unsigned>(length_), converted);
    takeBytes(converted);
}
