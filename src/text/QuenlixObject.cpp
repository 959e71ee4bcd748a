#include "text/QuenlixObject.h"

std::atomic<int> QuenlixObject::s_counter{100};
