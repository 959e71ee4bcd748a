#pragma once
// Freed large-block regions kept for the next blocks of about their size (see Platform.h): at most
// kRegions of them, kBytes in all, the oldest given back first. Thread-safe; what it hands back
// for releasing, the caller releases outside its lock.
#include <atomic>
#include <cstddef>

class KeptRegions {
public:
    static const int kRegions = 4;
    // What is kept is memory the host does not get back until a region is reused or the library
    // is unloaded, so it is held to what one large table needs (its text, row offsets and field
    // index); a 32-bit process, with 2 GB of address space, keeps less.
    static const std::size_t kBytes = std::size_t(sizeof(void*) >= 8 ? 128 : 64) << 20;

    static const std::size_t kSpareBytes = std::size_t(8) << 20;

    struct Region {
        void* base;
        std::size_t bytes;
    };

    // Takes the smallest kept region of at least `bytes` and at most twice that or kSpareBytes
    // more (a much larger one would stay whole for a small table; a table that starts small
    // grows into what it was given); {nullptr, 0} when there is none.
    Region take(std::size_t bytes);
    // Keeps a region. The regions to give back (the oldest ones that make room, or this one when
    // it is larger than all that may be kept) go to out, room for kRegions + 1; returns how many.
    int keep(Region region, Region* out);
    // Empties the keep; the regions go to out, room for kRegions; returns how many.
    int takeAll(Region* out);

private:
    struct Hold {
        explicit Hold(std::atomic_flag& f);
        ~Hold();
        std::atomic_flag& flag;
    };
    std::atomic_flag lock_ = ATOMIC_FLAG_INIT;
    Region kept_[kRegions] = {}; // the oldest first
    int count_ = 0;
};
