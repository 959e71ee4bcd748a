#pragma once
// Base64 decoding (for the embedded code-page tables) and quoted-printable encoding (for file
// names in the log).
class StringBuffer;

class ContentCoding {
public:
    ContentCoding() = default;
    virtual ~ContentCoding() = default;

    // A new block (free with qxFree) of the decoded bytes, or null; *sizeOut receives the count.
    unsigned char* decodeBase64(const char* text, int length, int* sizeOut);
    // Appends the quoted-printable encoding of data to out (lines of at most maxLineLength).
    void encodeQuotedPrintable(const unsigned char* data, int size, StringBuffer& out);

    int maxLineLength = 72;
};
