#pragma once
// Heap allocation for the library's buffers and containers. Every allocation that may fail goes
// through these three functions so that callers see a null pointer instead of an exception, and
// so that tests built with QX_FAULT_INJECTION can make chosen allocations fail.
#include <cstddef>

void* qxAlloc(std::size_t size);
void* qxRealloc(void* block, std::size_t size);
void qxFree(void* block);
// qxAlloc for a block that is filled at once although it is smaller than the size from which
// qxAlloc gives large pages by itself (freed with qxFree as any other).
void* qxAllocLarge(std::size_t size);
// qxRealloc for such a block: a heap block moves into a large one.
void* qxReallocLarge(void* block, std::size_t size);
// qxAlloc for a block of which only a small part is ever written, however large it is: it always
// comes from the heap, where a large page would be cleared whole for it.
void* qxAllocSparse(std::size_t size);
// Gives large pages to blocks from `size` bytes up (4 MB unless set), for a process that holds
// one table at a time (the command-line tool): its few mid-size blocks then cost a fault each
// rather than one per small page, and the unused rest of their pages is small next to the
// process. A host that keeps many tables keeps the default.
void qxUseLargeBlocksFrom(std::size_t size);

// How many allocations of the calling thread have failed so far (qxAlloc or qxRealloc returning
// null, injected failures included).
unsigned long qxFailedAllocations();

// Tells whether an allocation of the calling thread failed after it was made. Buffers and
// containers carry on quietly when memory runs out (they stay unchanged or short); an operation
// that must not hand out a result built without some of its memory watches its own run:
//     QxAllocWatch watch; ...build...; if (watch.failed()) ...report false...
class QxAllocWatch {
public:
    QxAllocWatch() : start_(qxFailedAllocations()) {}
    bool failed() const { return qxFailedAllocations() != start_; }

private:
    unsigned long start_;
};

// Allocates and constructs an object, or returns null when memory cannot be had.
template <class T, class... Args> T* qxNew(Args&&... args);

#include <new>
#include <utility>
template <class T, class... Args> T* qxNew(Args&&... args) {
    void* p = qxAlloc(sizeof(T));
    if (!p) return nullptr;
    return new (p) T(std::forward<Args>(args)...);
}
// Destroys an object made by qxNew (through its virtual destructor when it has one).
template <class T> void qxDelete(T* obj) {
    if (!obj) return;
    obj->~T();
    qxFree(obj);
}
