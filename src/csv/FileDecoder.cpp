#include "csv/FileDecoder.h"

#include "encoding/EncodingConvert.h"
#include "file/FileAccess.h"
#include "platform/Platform.h"
#include "text/StringBuffer.h"

#include <cstring>

bool FileDecoder::expect(uint32_t size) {
    fileSize_ = size;
    // Code page 437 text that is all seven-bit stays as read (see StringBuffer::convertEncoding),
    // which only the whole file can tell.
    byLines_ = codePage_ != 437 && EncodingConvert::decodesByLines(codePage_, size);
    if (!byLines_) return pending_.ensureBuffer(size + FileAccess::kReadSlack);
    byBytes_ = EncodingConvert::decodesByBytes(codePage_);
    // Room for the decoded text is had at once, as a whole-file load has it for the file: half as
    // much again as the file (two bytes of a double-byte character give three of UTF-8).
    const uint64_t want = static_cast<uint64_t>(size) + size / 2 + FileAccess::kReadSlack;
    return want <= 0xFFFFFFF0u && decoded_.ensureBuffer(static_cast<unsigned>(want)) &&
           pending_.ensureBuffer(pieceBytes_);
}

unsigned char* FileDecoder::space(uint32_t* room) {
    const unsigned used = pending_.getSize();
    if (!byLines_) {
        *room = pending_.getCapacity() - used;
        return *room ? pending_.getData() + used : nullptr;
    }
    // A line longer than a piece grows the block, at least doubling it: a file without an LF
    // must not be copied over once per piece.
    if (pending_.getCapacity() - used < pieceBytes_) {
        const uint64_t need = static_cast<uint64_t>(used) + pieceBytes_;
        uint64_t want = static_cast<uint64_t>(pending_.getCapacity()) * 2;
        if (want < need) want = need;
        if (want > 0xFFFFFFF0u) want = need;
        if (want > 0xFFFFFFF0u || !pending_.ensureBuffer(static_cast<unsigned>(want)))
            return nullptr;
    }
    *room = pieceBytes_;
    return pending_.getData() + used;
}

void FileDecoder::took(uint32_t count, bool last) {
    // What was left over from the last piece holds no LF: only the new bytes are searched.
    unsigned searched = pending_.getSize();
    pending_.setDataSize(searched + count);
    if (!byLines_ && !last) return;
    unsigned char* data = pending_.getData();
    unsigned size = pending_.getSize();
    if (first_) {
        if (size < 3 && !last) return; // the mark needs three bytes to be told
        first_ = false;
        searched = 0; // the bytes held back for the mark are searched too
        if (size >= 3 && FileAccess::dropsUtf8Mark(data, fileSize_)) {
            size -= 3;
            std::memmove(data, data + 3, size);
        }
    }
    if (!byLines_) {
        pending_.setDataSize(size); // converted whole by takeText
        return;
    }
    unsigned cut = size;
    if (!last && !byBytes_) {
        while (cut > searched && data[cut - 1] != '\n')
            --cut;
        if (cut == searched) cut = 0; // no LF yet: all of it waits
    }
    // Whatever the conversion produced is kept, also when characters were dropped.
    if (cut > 0) {
        // The decoded piece lands in fresh memory: mapped in one step, not a page at a time.
        const unsigned used = decoded_.getSize();
        const uint64_t room = decoded_.getCapacity() - used;
        const uint64_t most = static_cast<uint64_t>(cut) * 2;
        platform::prepareToWrite(decoded_.getData() + used,
                                 static_cast<std::size_t>(room < most ? room : most));
        EncodingConvert().convert(codePage_, 65001, data, cut, decoded_);
    }
    std::memmove(data, data + cut, size - cut);
    pending_.setDataSize(size - cut);
}

void FileDecoder::takeText(StringBuffer& text) {
    text.takeBytes(byLines_ ? decoded_ : pending_);
    if (!byLines_) text.convertEncoding(codePage_, 65001);
}
