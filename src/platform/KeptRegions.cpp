#include "platform/KeptRegions.h"

#include <cstring>
#include <thread>

KeptRegions::Hold::Hold(std::atomic_flag& f) : flag(f) {
    // Held for a few comparisons at a time.
    while (flag.test_and_set(std::memory_order_acquire))
        std::this_thread::yield();
}

KeptRegions::Hold::~Hold() {
    flag.clear(std::memory_order_release);
}

KeptRegions::Region KeptRegions::take(std::size_t bytes) {
    Hold hold(lock_);
    int best = -1;
    for (int i = 0; i < count_; ++i) {
        const std::size_t has = kept_[i].bytes;
        if (has < bytes || (has / 2 > bytes && has - bytes > kSpareBytes)) continue;
        if (best < 0 || has < kept_[best].bytes) best = i;
    }
    if (best < 0) return Region{nullptr, 0};
    const Region r = kept_[best];
    std::memmove(kept_ + best, kept_ + best + 1, sizeof(Region) * (count_ - best - 1));
    --count_;
    return r;
}

int KeptRegions::keep(Region region, Region* out) {
    Hold hold(lock_);
    if (region.bytes > kBytes) {
        out[0] = region;
        return 1;
    }
    // The oldest go until the new one fits.
    std::size_t bytes = region.bytes;
    for (int i = 0; i < count_; ++i)
        bytes += kept_[i].bytes;
    int drop = 0;
    while (drop < count_ && (count_ - drop >= kRegions || bytes > kBytes)) {
        bytes -= kept_[drop].bytes;
        out[drop] = kept_[drop];
        ++drop;
    }
    std::memmove(kept_, kept_ + drop, sizeof(Region) * (count_ - drop));
    count_ -= drop;
    kept_[count_++] = region;
    return drop;
}

int KeptRegions::takeAll(Region* out) {
    Hold hold(lock_);
    const int n = count_;
    std::memcpy(out, kept_, sizeof(Region) * n);
    count_ = 0;
    return n;
}
