#include "encoding/FlatTables.h"

#include "encoding/tables/HashConvert.h"
#include "encoding/tables/TableStore.h"
#include "platform/Memory.h"
#include "platform/Platform.h"

#include <cstring>
#include <mutex>

namespace {

// One slot per code page and direction that has been asked for: how much it has converted
// through the hash route, and its flat table once built (or that it cannot be flattened).
struct Slot {
    int codePage = 0;
    uint64_t volume = 0;
    void* table = nullptr;
    bool unusable = false;
};

const int kSlots = 160; // more than the code pages with tables (103)

struct Cache {
    std::mutex lock;
    Slot reverse[kSlots];
    Slot forward[kSlots];
};

Cache& cache() {
    static Cache c; // built on first use, kept until the process ends
    return c;
}

Slot* slotFor(Slot* slots, int codePage) {
    for (int i = 0; i < kSlots; ++i) {
        if (slots[i].codePage == codePage) return &slots[i];
        if (slots[i].codePage == 0) {
            slots[i].codePage = codePage;
            return &slots[i];
        }
    }
    return nullptr;
}

// Returns the slot's table, building it once the volume converted so far reaches `threshold`.
template <class T, class Build>
const T* lookupOrBuild(Slot* slots, int codePage, uint64_t volume, uint64_t threshold,
                       Build build) {
    // build(unfit) returns the table, or null with unfit set when the table does not fit the
    // flat form.
    Cache& c = cache();
    std::lock_guard<std::mutex> hold(c.lock);
    Slot* s = slotFor(slots, codePage);
    if (!s || s->unusable) return nullptr;
    if (s->table) return static_cast<const T*>(s->table);
    s->volume += volume;
    if (s->volume < threshold) return nullptr;
    bool unfit = false;
    s->table = build(unfit);
    // A table that cannot be flattened is not tried again; a build that ran out of memory is
    // tried again after the next stretch of conversions.
    if (!s->table) {
        s->volume = 0;
        s->unusable = unfit;
    }
    return static_cast<const T*>(s->table);
}

bool isArabicIndicDigit(unsigned u) {
    return (u >= 0x0660 && u <= 0x0669) || (u >= 0x06F0 && u <= 0x06F9);
}

} // namespace

namespace {

// The entries a flat table is made from: those of a built map, or the table store's, read
// without building the map (a large conversion needs the flat table alone, and the map costs
// more to build than the flat table). Both builds walk the entries once (a few thousand) instead
// of looking up every possible key (65536). Of entries with the same key only the first counts,
// as for a lookup.
class EntrySource {
public:
    explicit EntrySource(const HashConvert& map)
        : asciiPassThrough(map.asciiPassThrough), map_(&map) {}
    EntrySource(int codePage, bool reverse) : codePage_(codePage), reverse_(reverse) {}

    // Hands every entry to fn(key, keyLength, value, valueLength); false, with nothing handed
    // over, when the store cannot hand the entries over.
    template <class Fn> bool forEach(Fn fn) {
        if (map_) {
            map_->forEachEntry(fn);
            return true;
        }
        return TableStore::walkEntries(
            codePage_, reverse_,
            [](void* context, const unsigned char* key, int keyLength, const unsigned char* value,
               int valueLength) {
                (*static_cast<Fn*>(context))(key, keyLength, value, valueLength);
            },
            &fn, &asciiPassThrough);
    }

    bool asciiPassThrough = false; // the map's; from the store, set before the first entry

private:
    const HashConvert* map_ = nullptr;
    int codePage_ = 0;
    bool reverse_ = false;
};

// Builds from `source`; `walked` tells whether the source had the entries (without it nothing
// was built, and the caller may try a built map). Null with `unfit` set when the table does not
// fit the flat form, and null without it when memory ran out.
FlatReverse* makeReverse(int codePage, EntrySource& source, bool& unfit, bool& walked) {
    walked = true;
    FlatReverse* flat = static_cast<FlatReverse*>(qxAlloc(sizeof(FlatReverse)));
    if (!flat) return nullptr;
    platform::prepareToWrite(flat, sizeof(FlatReverse)); // all of it is written at once
    std::memset(flat->entry, 0, sizeof flat->entry);
    // What EncodingConvert::fromUtf16 and utf16ToCodePage do with a unit, in their order: units
    // below U+0080 pass through where the table says so, the Arabic-Indic digits of two code
    // pages are folded onto ASCII digits first, and every other unit is looked up.
    const bool fold = codePage == 28596 || codePage == 1256;
    const auto lookedUp = [&](unsigned unit) {
        return !(source.asciiPassThrough && unit < 0x80) && !(fold && isArabicIndicDigit(unit));
    };
    bool fits = true;
    QxAllocWatch watch;
    walked = source.forEach(
        [&](const unsigned char* key, int keyLen, const unsigned char* value, int valueLen) {
            if (keyLen != 2) return; // units are looked up with two-byte keys only
            const unsigned unit = key[0] | (static_cast<unsigned>(key[1]) << 8);
            if (!lookedUp(unit) || flat->entry[unit] != 0) return; // (0: not seen yet)
            if (valueLen == 1)
                flat->entry[unit] = (1u << 16) | value[0];
            else if (valueLen == 2)
                flat->entry[unit] = (2u << 16) | value[0] | (static_cast<uint32_t>(value[1]) << 8);
            else
                fits = false; // no room for such values in the flat form
        });
    if (!walked || watch.failed() || !fits) {
        qxFree(flat);
        unfit = walked && !watch.failed() && !fits;
        return nullptr;
    }
    if (source.asciiPassThrough)
        for (unsigned u = 0; u < 0x80; ++u)
            flat->entry[u] = (1u << 16) | u;
    if (flat->entry[0] == 0) flat->entry[0] = 1u << 16; // U+0000 without an entry: byte 0
    if (fold)
        for (unsigned unit = 0x0660; unit <= 0x06F9; ++unit)
            if (isArabicIndicDigit(unit)) flat->entry[unit] = flat->entry['0' + (unit & 0x0F)];
    flat->asciiIdentity = true;
    flat->asciiSingle = true;
    for (unsigned u = 0; u < 0x80; ++u) {
        if (flat->entry[u] != ((1u << 16) | u)) flat->asciiIdentity = false;
        if ((flat->entry[u] >> 16) != 1) flat->asciiSingle = false;
        flat->asciiByte[u] = static_cast<unsigned char>(flat->entry[u] & 0xFF);
    }
    return flat;
}

// The same for the forward table of a double-byte code page.
FlatForward* makeForward(EntrySource& source, bool& unfit, bool& walked) {
    walked = true;
    FlatForward* flat = static_cast<FlatForward*>(qxAlloc(sizeof(FlatForward)));
    if (!flat) return nullptr;
    platform::prepareToWrite(flat, sizeof(FlatForward)); // all of it is written at once
    std::memset(flat->pair, 0, sizeof flat->pair);
    std::memset(flat->single, 0, sizeof flat->single);
    for (int b = 0; b < 256; ++b)
        flat->leadHasPairs[b] = false;
    bool fits = true;
    QxAllocWatch watch;
    walked = source.forEach([&](const unsigned char* key, int keyLen, const unsigned char* value,
                                int valueLen) {
        uint16_t* slot;
        if (keyLen == 2) {
            slot = &flat->pair[(key[0] << 8) | key[1]];
        } else if (keyLen == 1) {
            // Byte 0 is always U+0000, and bytes that pass through are never looked up.
            if (key[0] == 0 || (source.asciiPassThrough && key[0] <= 0x7F)) return;
            slot = &flat->single[key[0]];
        } else {
            fits = false; // longer keys would be tried first; the flat form has none
            return;
        }
        if (*slot != 0) return; // a later entry with the same key
        const unsigned unit = valueLen == 2 ? value[0] | (static_cast<unsigned>(value[1]) << 8) : 0;
        if (unit == 0) { // a hit must be one non-zero unit: 0 marks "no key" in the flat form
            fits = false;
            return;
        }
        *slot = static_cast<uint16_t>(unit);
        if (keyLen == 2) flat->leadHasPairs[key[0]] = true;
    });
    if (!walked || watch.failed() || !fits) {
        qxFree(flat);
        unfit = walked && !watch.failed() && !fits;
        return nullptr;
    }
    flat->asciiPassThrough = source.asciiPassThrough;
    flat->asciiRuns = flat->asciiPassThrough;
    for (int b = 0; b < 0x80; ++b)
        if (flat->leadHasPairs[b]) flat->asciiRuns = false;
    return flat;
}

} // namespace

FlatReverse* FlatTables::buildReverse(int codePage, const HashConvert& table) {
    EntrySource source(table);
    bool unfit = false, walked = false;
    return makeReverse(codePage, source, unfit, walked);
}

FlatForward* FlatTables::buildForward(const HashConvert& table) {
    EntrySource source(table);
    bool unfit = false, walked = false;
    return makeForward(source, unfit, walked);
}

FlatReverse* FlatTables::buildReverseFromStore(int codePage) {
    EntrySource source(codePage, true);
    bool unfit = false, walked = false;
    return makeReverse(codePage, source, unfit, walked);
}

FlatForward* FlatTables::buildForwardFromStore(int codePage) {
    EntrySource source(codePage, false);
    bool unfit = false, walked = false;
    return makeForward(source, unfit, walked);
}

// Both are built from the store's entries where it can hand them over, so that the map is built
// only by a conversion that takes the hash route, and from the map otherwise. A double-byte code
// page's flat tables are built on its first conversion, however short: its map has thousands of
// entries in as many small blocks, and costs more to build than a walk over the store's entries
// into one flat table (a one-line Shift_JIS file converts in 3.2 ms of CPU this way, 4.3 through
// the map). A single-byte code page's reverse map has a few hundred entries, so its 256 KB flat
// table waits until enough text has gone through the map to pay for it.
const FlatReverse* FlatTables::reverse(int codePage, uint64_t units) {
    const uint64_t threshold =
        TableStore::listedKindOf(codePage) == TableStore::kDoubleByte ? 0 : kBuildThreshold;
    return lookupOrBuild<FlatReverse>(
        cache().reverse, codePage, units, threshold, [&](bool& unfit) {
            EntrySource store(codePage, true);
            bool walked = false;
            FlatReverse* flat = makeReverse(codePage, store, unfit, walked);
            if (!walked) {
                const HashConvert* table = TableStore::reverse(codePage);
                flat = nullptr;
                if (table) {
                    EntrySource map(*table);
                    flat = makeReverse(codePage, map, unfit, walked);
                }
            }
            return static_cast<void*>(flat);
        });
}

const FlatForward* FlatTables::forward(int codePage, uint64_t bytes) {
    return lookupOrBuild<FlatForward>(cache().forward, codePage, bytes, 0, [&](bool& unfit) {
        EntrySource store(codePage, false);
        bool walked = false;
        FlatForward* flat = makeForward(store, unfit, walked);
        if (!walked) {
            const HashConvert* table = TableStore::forwardDoubleByte(codePage);
            flat = nullptr;
            if (table) {
                EntrySource map(*table);
                flat = makeForward(map, unfit, walked);
            }
        }
        return static_cast<void*>(flat);
    });
}

bool FlatTables::has(int codePage, bool reverse) {
    Cache& c = cache();
    std::lock_guard<std::mutex> hold(c.lock);
    const Slot* slots = reverse ? c.reverse : c.forward;
    for (int i = 0; i < kSlots && slots[i].codePage != 0; ++i)
        if (slots[i].codePage == codePage) return slots[i].table != nullptr;
    return false;
}
