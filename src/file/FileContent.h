#pragma once
// What a whole-file write puts into the file. A plain content is one block of bytes; a derived
// content hands its bytes over in pieces (a table being saved writes a row stretch at a time
// instead of first copying the whole table into one block). A content may be asked more than once
// (a write through the Unicode name that failed is tried again through the ANSI name) and then
// gives the same bytes from the start again.
class FileContent {
public:
    // Takes the pieces in order; false when a piece did not go out completely.
    class Writer {
    public:
        virtual bool write(const unsigned char* data, unsigned count) = 0;

    protected:
        ~Writer() = default;
    };

    FileContent(const unsigned char* data, unsigned count) : data_(data), count_(count) {}
    virtual ~FileContent() = default;

    // Hands every byte to writer; false as soon as a piece is refused.
    virtual bool writeTo(Writer& writer) {
        return !data_ || count_ == 0 || writer.write(data_, count_);
    }

private:
    const unsigned char* data_;
    unsigned count_;
};
