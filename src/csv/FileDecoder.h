#pragma once
// Receives a file being read and decodes it to UTF-8. Where the code page allows it
// (EncodingConvert::decodesByLines), the file is decoded a piece at a time as it arrives, each
// piece up to its last LF byte (the rest waits for the next; a single-byte table takes the whole
// piece, UTF-16 is cut after an LF unit), so that a converting load never
// holds the whole file as read beside its decoded text; otherwise the whole file is read first
// and decoded at once. Like a whole-file load, a UTF-8 byte-order mark at the start of a file
// longer than the mark is left out.
#include "file/FileReceiver.h"
#include "text/DataBuffer.h"

class StringBuffer;

class FileDecoder : public FileReceiver {
public:
    // Pieces of this many bytes are read.
    static const uint32_t kPieceBytes = 1u << 18;

    explicit FileDecoder(int fromCodePage, uint32_t pieceBytes = kPieceBytes)
        : codePage_(fromCodePage), pieceBytes_(pieceBytes ? pieceBytes : 1) {}

    bool expect(uint32_t size) override;
    unsigned char* space(uint32_t* room) override;
    void took(uint32_t count, bool last) override;

    // Hands the decoded text over to text (which is emptied first).
    void takeText(StringBuffer& text);

private:
    // How far a buffer's pages have been asked for, while its block stays where it is.
    struct Ready {
        const unsigned char* block = nullptr;
        uint64_t upTo = 0;
    };
    // Asks for the pages of buffer[from, from + bytes) that were not asked for already: a call
    // for pages already there still costs a system call and a walk over them.
    static void prepare(DataBuffer& buffer, Ready& ready, uint64_t from, uint64_t bytes);

    const int codePage_;
    const uint32_t pieceBytes_;
    uint32_t fileSize_ = 0;
    bool byLines_ = false;
    bool byBytes_ = false; // pieces are cut anywhere, not only after an LF
    bool utf16_ = false;   // pieces are cut after an LF unit
    int unitCodePage_ = 0; // the code page the pieces are decoded from
    bool first_ = true;
    // The bytes read and not yet decoded, at the start of the block, then room for a piece.
    DataBuffer pending_;
    DataBuffer decoded_;
    Ready pendingReady_, decodedReady_;
};
