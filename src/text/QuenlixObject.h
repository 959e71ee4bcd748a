#pragma once
// Root of the library's object classes: a virtual destructor, so that containers can delete what
// they own, and a serial number from a process-wide counter that starts at 100.
#include <atomic>

class QuenlixObject {
public:
    QuenlixObject() : serial_(nextSerial()) {}
    QuenlixObject(const QuenlixObject&) : serial_(nextSerial()) {}
    QuenlixObject& operator=(const QuenlixObject&) { return *this; }
    virtual ~QuenlixObject() = default;

    int serial() const { return serial_; }

private:
    // The counter is atomic only so that objects made on several threads at once are not a data
    // race; serials carry no meaning beyond telling objects apart.
    static int nextSerial() { return s_counter.fetch_add(1, std::memory_order_relaxed); }
    static std::atomic<int> s_counter;
    int serial_;
};
