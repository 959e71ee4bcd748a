#pragma once
// Map from text keys to owned QuenlixObject values, by separate chaining. Each bucket is a
// QX_List whose values are NamedObjects; keys are unique within the map and compared byte for
// byte (so case and blanks matter).
//
// The bucket of a key is the CRC-32 of the MD5 digest of the key's bytes, modulo the bucket
// count: it depends only on the key, never on the map's history.
#include "text/QX_List.h"
#include "text/QuenlixObject.h"

#include <cstdint>

class NamedObject;
class StringBuffer;

class HashMap {
public:
    // 0 buckets means 100.
    explicit HashMap(unsigned bucketCount = 0);
    virtual ~HashMap();
    HashMap(const HashMap&) = delete;
    HashMap& operator=(const HashMap&) = delete;

    // Stores value (made with qxNew) under key. When the key is present its old value is deleted
    // (unless it is the same pointer). Returns true when the map now owns value; false (value
    // still the caller's) when no entry could be allocated.
    bool hashInsert(const StringBuffer& key, QuenlixObject* value);
    // The value stored under key, or null.
    QuenlixObject* hashLookup(const StringBuffer& key) const;
    // Deletes the key's entry and its value; nothing when absent.
    void hashDelete(const StringBuffer& key);
    // Deletes every entry and value, and starts again with fresh empty buckets.
    void hashClear();

    unsigned getBucketCount() const { return bucketCount_; }
    // Number of entries in all buckets.
    int getCount() const;
    // The bucket a key falls into.
    unsigned bucketOf(const StringBuffer& key) const;
    // Number of entries in bucket b (0 for a bucket that does not exist).
    int bucketSize(unsigned b) const;

private:
    // One slot of the shortcut table (see HashMap.cpp): a key's full hash and its list item.
    struct Shortcut {
        uint32_t hash;
        QX_ListItem* item; // null: a free slot
    };

    bool allocateBuckets();
    void destroyBuckets();
    // CRC-32 of the MD5 digest of the key's bytes; the bucket is this modulo the bucket count.
    static uint32_t hashOf(const StringBuffer& key);
    // The entry named key (and its list item), or null; hash is hashOf(key).
    NamedObject* find(const StringBuffer& key, uint32_t hash, QX_ListItem** itemOut) const;
    // Turns the shortcut table off for good when key holds a NUL byte.
    void noteKey(const StringBuffer& key);
    // The shortcut table's upkeep; a failure to allocate drops the table.
    unsigned findShortcut(const StringBuffer& key, uint32_t hash) const;
    static void placeShortcut(Shortcut* table, unsigned capacity, uint32_t hash, QX_ListItem* item);
    static Shortcut* newShortcutTable(unsigned capacity);
    void addShortcut(uint32_t hash, QX_ListItem* item);
    void removeShortcut(unsigned slot);
    void buildShortcuts();
    void dropShortcuts();

    unsigned bucketCount_;
    QX_List* buckets_;
    unsigned entries_ = 0;
    Shortcut* shortcuts_ = nullptr;
    unsigned shortcutCapacity_ = 0; // a power of two while there is a table
    bool chainsOnly_ = false;       // a key held a NUL: no table until hashClear
};
