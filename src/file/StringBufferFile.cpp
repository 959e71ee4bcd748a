// The members of StringBuffer that touch files and the system's last error. They live with the
// file layer so that the text subsystem does not depend on it.
#include "file/FileAccess.h"
#include "log/LogBase.h"
#include "platform/FileApi.h"
#include "platform/Platform.h"
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
            const long long need = static_cast<long long>(size) + FileAccess::kReadSlack;
            // A quarter more where it can be had: a table loaded from the text moves the rows
            // whose line ends grow when saved there. Room never written costs address space
            // only, and a process short of that still gets the file.
            return text_.length_ + need <= INT_MAX &&
                   text_.expectNumBytes(static_cast<int>(need), static_cast<int>(size / 4));
        }
        unsigned char* space(uint32_t* room) override {
            *room = size_;
            // The file is read into fresh memory: mapped in one call, not a fault per page.
            platform::prepareToWrite(text_.data_ + text_.length_, size_);
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
