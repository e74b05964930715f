#include <gtest/gtest.h>

#include "capture.h"
#include "output/console.h"
#include "scan/listing.h"

TEST(Smoke, DotNames) { EXPECT_TRUE(IsDotName(L".")); }
TEST(Smoke, Capture) {
  CapturedConsole console;
  WriteLogLine(L"add", L"x");
  EXPECT_EQ(console.out(), LogLine("add", "x"));
}
