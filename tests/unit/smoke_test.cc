#include <gtest/gtest.h>

#include "scan/listing.h"

TEST(Smoke, DotNames) { EXPECT_TRUE(IsDotName(L".")); }
