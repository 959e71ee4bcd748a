#include "text/StringBuffer.h"

#include <gtest/gtest.h>

TEST(StringBufferSmoke, Builds) {
    StringBuffer sb;
    EXPECT_EQ(sb.getCapacity(), 202);
}
