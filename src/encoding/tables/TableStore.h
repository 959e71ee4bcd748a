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

    // Null when the code page has no table (or memory ran out while it was built).
    static const UnicodeLookup* forwardSingleByte(int codePage);
    static const HashConvert* forwardDoubleByte(int codePage);
    static const HashConvert* reverse(int codePage);

    // How many times the slot was built in this process (0 or 1), for tests.
    static int buildCount(int codePage, bool reverse);
};
