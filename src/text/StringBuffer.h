#pragma once
// The library's growable, NUL-terminated 8-bit string. It has no character set of its own: the
// same class holds ANSI text, UTF-8 text, CSV lines, log text and XML output.
//
// Memory: the block grows by about half its size at a time (never more than 500000 bytes at
// once). When memory cannot be had, operations leave the text unchanged, and a buffer that has no
// block at all points at one shared read-only empty string, so getString() is never null.
//
// Integrity: a marker byte (0xAA) is set while the object lives and cleared by the destructor;
// an operation on a buffer whose marker is wrong stops the process at once. This guards against
// use of a destroyed object; no input can reach it.
#include "text/QuenlixObject.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

class DataBuffer;
class ExtPtrArray;
class XString;
class LogBase;

class StringBuffer : public QuenlixObject {
public:
    StringBuffer();
    explicit StringBuffer(const char* s);
    // A copy of the n bytes at s with room for `spare` more before the block has to grow.
    StringBuffer(const char* s, int n, int spare);
    StringBuffer(const StringBuffer& other);
    StringBuffer& operator=(const StringBuffer& other);
    ~StringBuffer() override;

    // ---- access ----
    const char* getString() const { return data_; }
    int getSize() const { return length_; }
    int getCapacity() const { return capacity_; }
    int getGrowthStep() const { return growthStep_; }
    char charAt(int i) const { return (i < 0 || i >= length_) ? 0 : data_[i]; }
    bool containsChar(char c) const;
    int countChar(char c) const;
    bool beginsWith(const char* s) const;
    bool equals(const char* s) const;
    bool equalsIgnoreCase(const char* s) const;
    bool is7bit(int n) const;

    // ---- building ----
    void clear();
    int append(const char* s);
    void appendN(const void* p, int n);
    void appendChar(char c);
    void appendCharN(char c, int count);
    void appendSb(const StringBuffer& o);
    void prepend(const char* s);
    void setString(const char* s);
    void setSb(const StringBuffer& o);
    // Adopts the bytes of db (the caller has appended a NUL as the last byte); db is left empty.
    void takeData(DataBuffer& db);
    // The same for bytes without the NUL: it is appended first. Without room for it the text is
    // left empty (as a copy that failed would leave it) rather than one byte short.
    void takeBytes(DataBuffer& db);
    bool expectNumBytes(int n);
    // Room for n more bytes and, where memory allows, `spare` more; false only without room
    // for n.
    bool expectNumBytes(int n, int spare);
    void minimizeMemory();
    void shorten(int n);
    void trim();
    // Sets the length directly after bytes were written behind the text (see expectNumBytes);
    // n is clamped to the capacity. Used by the file layer's single read into the buffer.
    void setLength(int n);
    // Writable pointer to the block, for filling reserved room (see expectNumBytes, setLength).
    char* getWritableData() { return data_; }
    // Moves the text into a block of exactly `capacity` bytes (at least length + 1); false, and
    // nothing changes, when memory cannot be had.
    bool setCapacity(int capacity);
    // Hands the block over to the caller, who frees it with qxFree; *capacity receives its size.
    // The buffer is left empty, without a block of its own. Null when it had none.
    char* releaseBlock(int* capacity);
    // Exchanges the two texts, blocks and all.
    void swap(StringBuffer& other);
    // Replaces the text by the n bytes at p (1 <= n, p not inside this buffer) when they fit in
    // the block as it is; false, and nothing changes, when they do not. Inline: it is the whole
    // work of handing out a table cell. readable tells how many bytes from p on may be read (at
    // least n; a cell inside a loaded table has the rest of the table behind it).
    bool overwrite(const void* p, int n, std::ptrdiff_t readable = 0) {
        // (A buffer whose marker is broken is left to the other paths, which check it.)
        if (marker_ != 0xAA || n <= 0 || n >= capacity_) return false;
        const char* from = static_cast<const char*>(p);
        if (n <= kWideMove && readable >= kWideMove && capacity_ > kWideMove) {
            // One move of a fixed size, whatever n is: cell lengths vary from cell to cell, and
            // a move chosen by the length is a branch mispredicted as often.
            std::memcpy(data_, from, kWideMove);
        } else if (n <= 32) {
            // Texts up to 32 bytes as two overlapping moves of a fixed size instead of a call;
            // nothing outside from[0, n) is read.
            if (n >= 16)
                moveEnds<16>(from, n);
            else if (n >= 8)
                moveEnds<8>(from, n);
            else if (n >= 4)
                moveEnds<4>(from, n);
            else {
                data_[0] = from[0];
                data_[n / 2] = from[n / 2];
                data_[n - 1] = from[n - 1];
            }
        } else {
            std::memcpy(data_, from, static_cast<size_t>(n));
        }
        data_[n] = 0;
        length_ = n;
        return true;
    }
    // The text becomes the bytes that write(block) puts at the start of the block, at most
    // `most` of them, returning how many; write may fill up to most + 16 bytes. False, with the
    // buffer unchanged, when the block is too small or write returns -1 (before writing).
    template <class W> bool overwriteWith(int most, W&& write) {
        if (marker_ != 0xAA || most < 0 || most + 16 >= capacity_) return false;
        const int n = write(data_);
        if (n < 0) return false;
        data_[n] = 0;
        length_ = n;
        return true;
    }
    // The size of overwrite's fixed move (a block takes it when it is larger).
    static const int kWideMove = 32;

    // ---- editing ----
    void replaceChar(char from, char to);
    int replaceAll(const char* find, const char* repl);
    void toLowercase();
    void toCrlf();
    void toLf();
    // The same on bytes held elsewhere (a table's rows):
    // the length `length` bytes at text have after toCrlf, or -1 when toCrlf leaves them as
    // they are (a CR before every LF and no other CR);
    static long long crlfLength(const char* text, int length);
    // writes them to out as toCrlf makes them and returns the end (out may be text itself when
    // the bytes hold no LF);
    static char* putCrlf(const char* text, int length, char* out);
    // makes them what toLf makes them, in place, and returns their new length.
    static int toLfInPlace(char* text, int length);
    void encodeXmlSpecial();
    void removeFirstN(int n);

    // ---- encodings (see the encoding subsystem) ----
    void convertEncoding(int fromCodePage, int toCodePage);
    void convertAnsiToUtf8();

    // ---- operating-system texts ----
    void appendWindowsError(uint32_t code);
    void appendLastWindowsError();

    // ---- files (see the file subsystem) ----
    bool saveToFile(const char* utf8Path, LogBase* log) const;
    bool loadFromFile(XString& path, LogBase* log);

    // ---- CSV dialect: delimited fields (implemented with the CSV subsystem) ----
    void split(ExtPtrArray& out, char separator, bool quotes, bool backslash) const;
    int countFields(char delimiter, bool quotes, bool backslash) const;
    void getNthField(int index, char delimiter, bool quotes, bool backslash,
                     StringBuffer& out) const;
    // False when the line stays as it was: a negative index, a line that would pass the size
    // limit, or no memory.
    bool setNthField(int index, char delimiter, bool quotes, bool backslash,
                     const StringBuffer& value);

    // ---- numbers ----
    static void appendInt64(int64_t v, StringBuffer& sb);
    // v formatted with "%d"; the result stays valid until the calling thread's next call.
    static const char* intToString(int v);

private:
    // The first and the last k bytes of from[0, n) (k <= n <= 2k) to the start of the block.
    template <int k> void moveEnds(const char* from, int n) {
        char head[k], tail[k];
        std::memcpy(head, from, k);
        std::memcpy(tail, from + n - k, k);
        std::memcpy(data_, head, k);
        std::memcpy(data_ + n - k, tail, k);
    }
    void checkMarker() const;
    bool growFor(int n, int extra);
    void adaptStep();
    void freeBlock();
    void initFrom(const char* s, int len, int spare = 0);

    uint8_t marker_;
    char* data_;
    int capacity_;
    int length_;
    int growthStep_;
};
