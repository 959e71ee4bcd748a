#include "csv/FileDecoder.h"

#include "encoding/EncodingConvert.h"
#include "file/FileAccess.h"
#include "platform/Platform.h"
#include "text/StringBuffer.h"

#include <cstring>

namespace {
const int kUtf16Le = 1200;
const int kUtf16Be = 1201;

// Where a piece of UTF-16 text (units at even offsets) may end: just after its last LF unit
// that the next unit follows and that next unit is not FF FE or FE FF, which the next piece
// would take for a byte-order mark; 0 when there is no such place at or after `from`.
unsigned utf16Cut(const unsigned char* data, unsigned size, unsigned from, bool bigEndian) {
    if (size < 4) return 0;
    const unsigned char lf0 = bigEndian ? 0 : '\n', lf1 = bigEndian ? '\n' : 0;
    for (unsigned p = (size - 4) & ~1u;; p -= 2) {
        if (data[p] == lf0 && data[p + 1] == lf1 &&
            !((data[p + 2] == 0xFF && data[p + 3] == 0xFE) ||
              (data[p + 2] == 0xFE && data[p + 3] == 0xFF)))
            return p + 2;
        if (p <= from) return 0;
    }
}
} // namespace

void FileDecoder::prepare(DataBuffer& buffer, Ready& ready, uint64_t from, uint64_t bytes) {
    if (buffer.getData() != ready.block) ready = Ready{buffer.getData(), 0};
    const uint64_t start = from > ready.upTo ? from : ready.upTo;
    if (start >= from + bytes) return;
    platform::prepareToWrite(buffer.getData() + start,
                             static_cast<std::size_t>(from + bytes - start));
    ready.upTo = from + bytes;
}

bool FileDecoder::expect(uint32_t size) {
    fileSize_ = size;
    // Code page 437 text that is all seven-bit stays as read (see StringBuffer::convertEncoding),
    // which only the whole file can tell. UTF-16 is cut after LF units; its byte order is the one
    // the first piece's mark gives, as for the whole text.
    utf16_ = codePage_ == kUtf16Le || codePage_ == kUtf16Be;
    unitCodePage_ = codePage_;
    byLines_ = utf16_ || (codePage_ != 437 && EncodingConvert::decodesByLines(codePage_, size));
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
        // The whole file is read into fresh memory: mapped in one call, not a fault per page.
        *room = pending_.getCapacity() - used;
        if (*room) prepare(pending_, pendingReady_, used, *room);
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
    // The file is read into it: mapped in one call, once.
    prepare(pending_, pendingReady_, used, pieceBytes_);
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
        if (utf16_ && size >= 2 && data[0] == 0xFE && data[1] == 0xFF) unitCodePage_ = kUtf16Be;
        if (utf16_ && size >= 2 && data[0] == 0xFF && data[1] == 0xFE) unitCodePage_ = kUtf16Le;
    }
    if (!byLines_) {
        pending_.setDataSize(size); // converted whole by takeText
        return;
    }
    unsigned cut = size;
    if (!last && utf16_) {
        // An LF unit at the end of the last piece waited for the unit after it.
        cut = utf16Cut(data, size, searched >= 4 ? (searched - 4) & ~1u : 0,
                       unitCodePage_ == kUtf16Be);
    } else if (!last && !byBytes_) {
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
        prepare(decoded_, decodedReady_, used, room < most ? room : most);
        EncodingConvert().convert(unitCodePage_, 65001, data, cut, decoded_);
    }
    std::memmove(data, data + cut, size - cut);
    pending_.setDataSize(size - cut);
}

void FileDecoder::takeText(StringBuffer& text) {
    text.takeBytes(byLines_ ? decoded_ : pending_);
    if (!byLines_) text.convertEncoding(codePage_, 65001);
}
