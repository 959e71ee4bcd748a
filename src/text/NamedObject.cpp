#include "text/NamedObject.h"

#include "platform/Memory.h"
#include "text/StringBuffer.h"

#include <cstring>

NamedObject::NamedObject(const char* name, QuenlixObject* value) : name_(nullptr), value_(value) {
    StringBuffer* sb = qxNew<StringBuffer>(name);
    // A buffer that fell back to the shared empty string holds no copy of a non-empty name.
    if (sb && name && *name && sb->getSize() == 0) {
        qxDelete(sb);
        sb = nullptr;
    }
    if (sb) sb->minimizeMemory();
    name_ = sb;
}

NamedObject::~NamedObject() {
    qxDelete(value_);
    qxDelete(name_);
}

const char* NamedObject::getName() const {
    return name_ ? name_->getString() : "";
}

void NamedObject::setValue(QuenlixObject* v) {
    if (v == value_) return;
    qxDelete(value_);
    value_ = v;
}

QuenlixObject* NamedObject::releaseValue() {
    QuenlixObject* v = value_;
    value_ = nullptr;
    return v;
}
