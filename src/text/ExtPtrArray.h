#pragma once
// Growable array of pointers to objects with a virtual destructor. The array does not own its
// elements: its destructor frees only the slot array, and owners delete the elements with
// removeAllObjects(). Capacity doubles from 5 slots until the growth step reaches 100000 slots.
#include "text/QuenlixObject.h"

class ExtPtrArray {
public:
    ExtPtrArray() = default;
    virtual ~ExtPtrArray();
    ExtPtrArray(const ExtPtrArray&) = delete;
    ExtPtrArray& operator=(const ExtPtrArray&) = delete;

    // Adds at the end; returns false (array unchanged) when memory cannot be had.
    bool appendPtr(QuenlixObject* obj);
    QuenlixObject* elementAt(int i) const;
    QuenlixObject* lastElement() const;
    // Removes slot i, moving the later slots down; returns the removed pointer (not deleted).
    QuenlixObject* removeAt(int i);
    QuenlixObject* pop();
    int getSize() const { return count_; }
    void removeAllNoDelete() { count_ = 0; }
    // Deletes every non-null element through its virtual destructor, then empties the array.
    void removeAllObjects();

    int getCapacity() const { return capacity_; }
    int getGrowthStep() const { return growthStep_; }

private:
    int growthStep_ = 5;
    int capacity_ = 0;
    int count_ = 0;
    QuenlixObject** slots_ = nullptr;
};
