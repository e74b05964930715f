#include <gtest/gtest.h>

#include "tandrel_test.h"

TEST(Smoke, Help) {
  RunResult r = RunTandrel({"-h"});
  EXPECT_EQ(r.exitCode, 0);
}
