#pragma once
// One integer on the heap, used as a hash-map value (the column-name index stores column numbers).
#include "text/QuenlixObject.h"

class QuenlixInt : public QuenlixObject {
public:
    explicit QuenlixInt(int v = 0) : value(v) {}
    int value;
};
