#pragma once
// Where a whole-file read puts the file's bytes. The reader asks for room, reads into it and
// reports what arrived, until the whole file is read. A receiver that offers room for the whole
// file gets it in one read; one that offers less gets it a piece at a time (a load that converts
// the file decodes each piece as it arrives instead of first holding the whole file as read).
#include <cstdint>

class FileReceiver {
public:
    virtual ~FileReceiver() = default;
    // Called once with the file's size, before any byte is read; false when there is no memory
    // for what the file will give.
    virtual bool expect(uint32_t size) = 0;
    // Room for the next bytes: where they go, and in *room how many fit (at least one); null
    // when there is no memory for more.
    virtual unsigned char* space(uint32_t* room) = 0;
    // count bytes have arrived in the room given last; last tells that they end the file.
    virtual void took(uint32_t count, bool last) = 0;
};
