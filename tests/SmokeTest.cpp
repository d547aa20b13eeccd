#include <gtest/gtest.h>

#include "space/ObjectList.h"

TEST(Smoke, EmptyListHasNoElements) {
    ObjectList list;
    EXPECT_EQ(list.count, 0);
}
