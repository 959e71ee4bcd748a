#pragma once
// A recursive lock: the thread that holds it may enter it again. On Windows it is a
// CRITICAL_SECTION, elsewhere a recursive mutex.

class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter();
    void leave();

private:
    // Storage large enough for the platform's lock object (a 32-bit CRITICAL_SECTION is 24 bytes,
    // a std::recursive_mutex at most 64 on the targets we build for).
    alignas(16) unsigned char storage_[64];
};

// Holds a CriticalSection for the life of a scope.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& cs) : cs_(cs) { cs_.enter(); }
    ~CriticalSectionLock() { cs_.leave(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& cs_;
};
