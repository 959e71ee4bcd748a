// The members of StringBuffer that touch files and the system's last error. They live with the
// file layer so that the text subsystem does not depend on it.
#include "file/FileAccess.h"
#include "log/LogBase.h"
#include "platform/FileApi.h"
#include "text/StringBuffer.h"
#include "text/XString.h"

#include <climits>

void StringBuffer::appendLastWindowsError() {
    appendWindowsError(platform::lastErrorCode());
}

bool StringBuffer::saveToFile(const char* utf8Path, LogBase* log) const {
    return FileAccess::writeWholeFile(utf8Path, reinterpret_cast<const unsigned char*>(data_),
                                      static_cast<unsigned>(length_), log);
}

bool StringBuffer::loadFromFile(XString& path, LogBase* log) {
    checkMarker();
    // The whole file is read in one go into room reserved behind the text.
    class Receiver : public FileReceiver {
    public:
        explicit Receiver(StringBuffer& text) : text_(text) {}
        bool expect(uint32_t size) override {
            size_ = size;
            return static_cast<long long>(text_.length_) + size + FileAccess::kReadSlack <=
                       INT_MAX &&
                   text_.expectNumBytes(static_cast<int>(size + FileAccess::kReadSlack));
        }
        unsigned char* space(uint32_t* room) override {
            *room = size_;
            return reinterpret_cast<unsigned char*>(text_.data_ + text_.length_);
        }
        void took(uint32_t count, bool) override {
            text_.setLength(text_.length_ + static_cast<int>(count));
            read_ = true;
        }
        bool read_ = false;

    private:
        StringBuffer& text_;
        uint32_t size_ = 0;
    } receiver(*this);
    if (!FileAccess::readWholeFile(path, receiver, log)) return false;

    if (receiver.read_ && FileAccess::dropsUtf8Mark(data_, static_cast<uint64_t>(length_)))
        removeFirstN(3);
    return true;
}
