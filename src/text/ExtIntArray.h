#pragma once
// Growable array of signed 32-bit integers: 80 values at first, then growing by a step that
// doubles up to 500000 values.

class ExtIntArray {
public:
    ExtIntArray();
    virtual ~ExtIntArray();
    ExtIntArray(const ExtIntArray&) = delete;
    ExtIntArray& operator=(const ExtIntArray&) = delete;

    // Adds at the end; returns false (array unchanged) when memory cannot be had.
    bool append(int v);
    // Adds n copies of v, growing as n appends would; false when memory runs out, with the
    // copies that fitted added.
    bool appendRepeated(int v, int n);
    // The value at i; 0 when i is out of range.
    int elementAt(int i) const;
    // Stores v at i, appending zeros first while i >= count; a negative i does nothing.
    void setAt(int i, int v);
    int getSize() const { return count_; }
    void clear() { count_ = 0; }

    int getGrowthStep() const { return growthStep_; }
    void setGrowthStep(int step) { growthStep_ = step > 0 ? step : 1; }
    int getCapacity() const { return capacity_; }

private:
    bool grow();
    int growthStep_ = 200;
    int capacity_ = 80;
    int count_ = 0;
    int* values_ = nullptr;
};
