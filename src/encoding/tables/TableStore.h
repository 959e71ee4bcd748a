#pragma once
// The process-wide store of built-in code-page tables. For every code page with a table there
// are two slots, forward (code page to UTF-16) and reverse (UTF-16 to code page); each is filled
// at most once, on first use of that code page and direction, and kept until the process ends.
// Filling a slot is safe when several threads ask for it first at the same moment.
class HashConvert;
class UnicodeLookup;

class TableStore {
public:
    enum Kind { kNone = 0, kSingleByte = 1, kDoubleByte = 2 };

    static Kind kindOf(int codePage);
    static bool hasTable(int codePage) { return kindOf(codePage) != kNone; }
    // Whether codePage is a single-byte code page whose table maps the bytes 0x01 to 0x7F to the
    // units of the same value and back, told from the list without building the table.
    static bool passesAscii(int codePage);

    // Null when the code page has no table (or memory ran out while it was built).
    static const UnicodeLookup* forwardSingleByte(int codePage);
    static const HashConvert* forwardDoubleByte(int codePage);
    static const HashConvert* reverse(int codePage);

    // How many times the slot's build was started in this process, for tests: 0 or 1, more only
    // when builds ran out of memory (such a build leaves the slot empty for the next use).
    static int buildCount(int codePage, bool reverse);

    // Decodes one embedded table text into target (whose buckets are already set up): as
    // (byte or code, UTF-16) entries, or (UTF-16, byte or code) ones when reverse is set. A patch
    // text changes a reverse table and is ignored otherwise. A damaged text yields an empty or
    // partial table without any message.
    static void loadTable(const char* text, HashConvert& target, bool reverse);

    // The entries a map is built from, in the order they are inserted (of several entries for
    // one key, the first is the one a lookup finds), each handed to sink as the map would hold
    // it (forward: a 1- or 2-byte code key and a 2-byte UTF-16LE value; reverse: a 2-byte UTF-16LE
    // key and a 1- or 2-byte code value), without building the map. The map's asciiPassThrough is
    // stored before the first entry is handed over. The forward map is that of a double-byte code
    // page. False, with nothing handed over, when the map is not built straight from one full
    // table (a patched table changes its reverse map, whose mirror is then the forward map), the
    // code page has no such table, or the text could not be unpacked.
    using EntrySink = void (*)(void* context, const unsigned char* key, int keyLength,
                               const unsigned char* value, int valueLength);
    static bool walkEntries(int codePage, bool reverse, EntrySink sink, void* context,
                            bool* asciiPassThrough);

    // A newly built table, owned by the caller (free it with qxDelete): the same work as the
    // first fill of a slot, without the slot. Null when the code page has no table of that form
    // or memory ran out. For measuring and testing the build itself.
    static UnicodeLookup* buildForwardSingleByte(int codePage);
    static HashConvert* buildMap(int codePage, bool reverse);

    // The kind from the list of code pages with tables, whether or not this build carries the
    // code page's data (kindOf and hasTable answer only for code pages whose data is present).
    static Kind listedKindOf(int codePage);
};
