#include "text/HashMap.h"

#include "platform/Memory.h"
#include "text/NamedObject.h"
#include "text/StringBuffer.h"
#include "util/Md5.h"
#include "util/ZipCRC.h"

#include <cstdint>
#include <cstring>
#include <new>

// Design note. The map's storage is its bucket chains: bucket = hash % bucket count, entries
// appended at the end of their chain, found by walking it. The bucket count is fixed (the CSV
// table asks for 400), so a map of a million column names would have chains of thousands, and
// every insert (which first looks for the key) would walk one: loading a column-name line of a
// million names would take minutes. Once a map holds more than kShortcutsFrom entries per bucket
// it therefore also keeps a shortcut table: an open-addressed array (linear probing, at most half
// full) from each key's full hash to its list item. The chains stay the map's contents, kept
// exactly as without the table; the table only finds a key's item in a few probes. When memory
// for it cannot be had the table is dropped and the chains are walked as before.
//
// Keys are hashed over all their bytes but compared as NUL-terminated texts (an entry keeps its
// name up to the first NUL). Lookups of a key with a NUL inside walk the chains, and inserting or
// deleting one turns the table off until hashClear, so that while there is a table every entry's
// name is its whole key and results never depend on whether the table is there.

namespace {
const unsigned kShortcutsFrom = 8; // entries per bucket beyond which the table is kept
const unsigned kMaxShortcutSlots = 1u << 30;

bool holdsNul(const StringBuffer& key) {
    return std::strlen(key.getString()) != static_cast<size_t>(key.getSize());
}
} // namespace

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
    dropShortcuts();
    entries_ = 0;
    chainsOnly_ = false;
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

uint32_t HashMap::hashOf(const StringBuffer& key) {
    unsigned char digest[16];
    Md5().digestString(key, digest);
    return ZipCRC().crc32(digest, sizeof digest);
}

unsigned HashMap::bucketOf(const StringBuffer& key) const {
    return hashOf(key) % bucketCount_;
}

NamedObject* HashMap::find(const StringBuffer& key, uint32_t hash, QX_ListItem** itemOut) const {
    if (!buckets_) return nullptr;
    if (shortcuts_ && !holdsNul(key)) {
        QX_ListItem* item = shortcuts_[findShortcut(key, hash)].item;
        if (itemOut) *itemOut = item;
        return item ? static_cast<NamedObject*>(item->getValue()) : nullptr;
    }
    const QX_List& list = buckets_[hash % bucketCount_];
    for (QX_ListItem* item = list.getLast(); item; item = item->getPrev()) {
        NamedObject* entry = static_cast<NamedObject*>(item->getValue());
        if (entry && std::strcmp(entry->getName(), key.getString()) == 0) {
            if (itemOut) *itemOut = item;
            return entry;
        }
    }
    return nullptr;
}

void HashMap::noteKey(const StringBuffer& key) {
    if (!holdsNul(key)) return;
    chainsOnly_ = true;
    dropShortcuts();
}

bool HashMap::hashInsert(const StringBuffer& key, QuenlixObject* value) {
    if (!buckets_) return false;
    noteKey(key);
    const uint32_t hash = hashOf(key);
    if (NamedObject* entry = find(key, hash, nullptr)) {
        entry->setValue(value);
        return true;
    }
    // The entry takes the value only once it is linked, so a failure leaves the value with the
    // caller.
    NamedObject* entry = qxNew<NamedObject>(key.getString(), nullptr);
    if (!entry) return false;
    QX_List& list = buckets_[hash % bucketCount_];
    int before = list.getCount();
    if (!entry->hasName() || list.append(entry) == before) {
        qxDelete(entry);
        return false;
    }
    entry->setValue(value);
    ++entries_;
    if (shortcuts_)
        addShortcut(hash, list.getLast());
    else if (!chainsOnly_ && entries_ / kShortcutsFrom > bucketCount_)
        buildShortcuts();
    return true;
}

QuenlixObject* HashMap::hashLookup(const StringBuffer& key) const {
    if (!buckets_) return nullptr;
    NamedObject* entry = find(key, hashOf(key), nullptr);
    return entry ? entry->getValue() : nullptr;
}

void HashMap::hashDelete(const StringBuffer& key) {
    if (!buckets_) return;
    noteKey(key);
    const uint32_t hash = hashOf(key);
    QX_ListItem* item = nullptr;
    NamedObject* entry = find(key, hash, &item);
    if (!entry) return;
    if (shortcuts_) removeShortcut(findShortcut(key, hash));
    buckets_[hash % bucketCount_].removeItem(item);
    qxDelete(entry);
    --entries_;
}

// ---- the shortcut table ----------------------------------------------------------------------

// The slot that holds key, or the free slot where the probe for it ends.
unsigned HashMap::findShortcut(const StringBuffer& key, uint32_t hash) const {
    const unsigned mask = shortcutCapacity_ - 1;
    for (unsigned i = hash & mask;; i = (i + 1) & mask) {
        const Shortcut& s = shortcuts_[i];
        if (!s.item) return i;
        if (s.hash != hash) continue;
        const NamedObject* entry = static_cast<const NamedObject*>(s.item->getValue());
        if (entry && std::strcmp(entry->getName(), key.getString()) == 0) return i;
    }
}

void HashMap::placeShortcut(Shortcut* table, unsigned capacity, uint32_t hash, QX_ListItem* item) {
    const unsigned mask = capacity - 1;
    unsigned i = hash & mask;
    while (table[i].item)
        i = (i + 1) & mask;
    table[i].hash = hash;
    table[i].item = item;
}

HashMap::Shortcut* HashMap::newShortcutTable(unsigned capacity) {
    if (capacity > SIZE_MAX / sizeof(Shortcut)) return nullptr;
    Shortcut* table = static_cast<Shortcut*>(qxAlloc(capacity * sizeof(Shortcut)));
    if (table)
        for (unsigned i = 0; i < capacity; ++i)
            table[i].item = nullptr;
    return table;
}

// entries_ already counts the new entry.
void HashMap::addShortcut(uint32_t hash, QX_ListItem* item) {
    if (static_cast<unsigned long long>(entries_) * 2 > shortcutCapacity_) {
        // Full to the half: move everything into a table twice the size.
        const unsigned capacity = shortcutCapacity_ * 2;
        Shortcut* table = capacity <= kMaxShortcutSlots ? newShortcutTable(capacity) : nullptr;
        if (!table) {
            dropShortcuts();
            return;
        }
        for (unsigned i = 0; i < shortcutCapacity_; ++i)
            if (shortcuts_[i].item)
                placeShortcut(table, capacity, shortcuts_[i].hash, shortcuts_[i].item);
        qxFree(shortcuts_);
        shortcuts_ = table;
        shortcutCapacity_ = capacity;
    }
    placeShortcut(shortcuts_, shortcutCapacity_, hash, item);
}

// Linear probing without tombstones: entries after the freed slot that could no longer be reached
// from their home slot move back into it.
void HashMap::removeShortcut(unsigned slot) {
    const unsigned mask = shortcutCapacity_ - 1;
    unsigned hole = slot;
    for (unsigned j = (hole + 1) & mask; shortcuts_[j].item; j = (j + 1) & mask) {
        const unsigned home = shortcuts_[j].hash & mask;
        if (((j - home) & mask) >= ((j - hole) & mask)) {
            shortcuts_[hole] = shortcuts_[j];
            hole = j;
        }
    }
    shortcuts_[hole].item = nullptr;
}

// Builds the table from the chains (each name hashed again); without memory there is none.
void HashMap::buildShortcuts() {
    unsigned capacity = 1024;
    while (capacity < kMaxShortcutSlots && capacity / 2 < entries_)
        capacity *= 2;
    Shortcut* table = capacity / 2 < entries_ ? nullptr : newShortcutTable(capacity);
    if (!table) return;
    StringBuffer name;
    for (unsigned b = 0; b < bucketCount_; ++b) {
        for (QX_ListItem* item = buckets_[b].getFirst(); item; item = item->getNext()) {
            const NamedObject* entry = static_cast<const NamedObject*>(item->getValue());
            name.setString(entry->getName());
            if (std::strcmp(name.getString(), entry->getName()) != 0) { // no memory for the copy
                qxFree(table);
                return;
            }
            placeShortcut(table, capacity, hashOf(name), item);
        }
    }
    shortcuts_ = table;
    shortcutCapacity_ = capacity;
}

void HashMap::dropShortcuts() {
    qxFree(shortcuts_);
    shortcuts_ = nullptr;
    shortcutCapacity_ = 0;
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
