#pragma once
// Decompression of one embedded code-page table: a tagged bzip2 stream (4-byte tag 0xB394A7E1,
// 4-byte uncompressed size, then the stream), decompressed in one buffer-to-buffer pass.
class DataBuffer;

class QuenlixBzip2 {
public:
    QuenlixBzip2() = default;
    virtual ~QuenlixBzip2();
    QuenlixBzip2(const QuenlixBzip2&) = delete;
    QuenlixBzip2& operator=(const QuenlixBzip2&) = delete;

    bool decompressTable(const DataBuffer& in, DataBuffer& out);

private:
    static void* allocate(void* self, int count, int size);
    static void release(void* self, void* block);
    void* scratch_[3] = {nullptr, nullptr, nullptr};
    unsigned tableBytes_ = 0; // the size the stream's header states, while it is decompressed
};
