#include "text/HashMap.h"

#include "platform/Memory.h"
#include "text/NamedObject.h"
#include "text/StringBuffer.h"
#include "util/Md5.h"
#include "util/ZipCRC.h"

#include <cstdint>
#include <cstring>
#include <new>

HashMap::HashMap(unsigned bucketCount)
    : bucketCount_(bucketCount ? bucketCount : 100), buckets_(nullptr) {
    allocateBuckets();
}

HashMap::~HashMap() {
    destroyBuckets();
    bucketCount_ = 0;
}

bool HashMap::allocateBuckets() {
    if (bucketCount_ > SIZE_MAX / sizeof(QX_List)) return false;
    void* block = qxAlloc(bucketCount_ * sizeof(QX_List));
    if (!block) return false;
    buckets_ = static_cast<QX_List*>(block);
    for (unsigned i = 0; i < bucketCount_; ++i)
        new (&buckets_[i]) QX_List();
    return true;
}

// Deletes every entry (with its value) and the bucket lists themselves.
void HashMap::destroyBuckets() {
    if (!buckets_) return;
    for (unsigned i = 0; i < bucketCount_; ++i) {
        QX_List& list = buckets_[i];
        for (QX_ListItem* item = list.getFirst(); item; item = item->getNext())
            qxDelete(static_cast<NamedObject*>(item->getValue()));
        list.~QX_List();
    }
    qxFree(buckets_);
    buckets_ = nullptr;
}

void HashMap::hashClear() {
    destroyBuckets();
    allocateBuckets();
}

unsigned HashMap::bucketOf(const StringBuffer& key) const {
    unsigned char digest[16];
    Md5().digestString(key, digest);
    return ZipCRC().crc32(digest, sizeof digest) % bucketCount_;
}

NamedObject* HashMap::find(const StringBuffer& key, unsigned b, QX_ListItem** itemOut) const {
    if (!buckets_) return nullptr;
    const QX_List& list = buckets_[b];
    for (QX_ListItem* item = list.getLast(); item; item = item->getPrev()) {
        NamedObject* entry = static_cast<NamedObject*>(item->getValue());
        if (entry && std::strcmp(entry->getName(), key.getString()) == 0) {
            if (itemOut) *itemOut = item;
            return entry;
        }
    }
    return nullptr;
}

bool HashMap::hashInsert(const StringBuffer& key, QuenlixObject* value) {
    if (!buckets_) return false;
    unsigned b = bucketOf(key);
    if (NamedObject* entry = find(key, b, nullptr)) {
        entry->setValue(value);
        return true;
    }
    // The entry takes the value only once it is linked, so a failure leaves the value with the
    // caller.
    NamedObject* entry = qxNew<NamedObject>(key.getString(), nullptr);
    if (!entry) return false;
    QX_List& list = buckets_[b];
    int before = list.getCount();
    if (!entry->hasName() || list.append(entry) == before) {
        qxDelete(entry);
        return false;
    }
    entry->setValue(value);
    return true;
}

QuenlixObject* HashMap::hashLookup(const StringBuffer& key) const {
    if (!buckets_) return nullptr;
    NamedObject* entry = find(key, bucketOf(key), nullptr);
    return entry ? entry->getValue() : nullptr;
}

void HashMap::hashDelete(const StringBuffer& key) {
    if (!buckets_) return;
    unsigned b = bucketOf(key);
    QX_ListItem* item = nullptr;
    NamedObject* entry = find(key, b, &item);
    if (!entry) return;
    buckets_[b].removeItem(item);
    qxDelete(entry);
}

int HashMap::getCount() const {
    int n = 0;
    if (buckets_)
        for (unsigned i = 0; i < bucketCount_; ++i)
            n += buckets_[i].getCount();
    return n;
}

int HashMap::bucketSize(unsigned b) const {
    return (buckets_ && b < bucketCount_) ? buckets_[b].getCount() : 0;
}
