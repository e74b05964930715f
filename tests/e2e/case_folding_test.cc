// Destinations that fold letter case: an exFAT drive through its FUSE driver (native), a Linux
// directory as Wine sees it (Windows builds).
#include <cstdlib>

#include "tandrel_test.h"

TEST(CaseFoldingDestination, SettlesAndTwoNamesDifferingInCaseGiveOneFailureEachRun) {
  TempDir temp;
  // The source, made by the test run's setup: "case/Readme.txt" (lower) and "case/README.TXT"
  // (upper), and 240 files in four directories.
  const fs::path volumes = TANDREL_TEST_VOLUMES, s = volumes / "case-source",
                 d = kWindowsBuild ? temp.path() / "dst"
                                   : volumes / "exfat" / temp.path().filename();
  RemovedAtEnd removed{d};
  fs::create_directories(d);
  MakeFile(d / "probe.txt", "");
  if (!fs::exists(s / "case") || !fs::exists(d / "PROBE.TXT") || !fs::remove(d / "probe.txt"))
    GTEST_SKIP() << "No case-folding destination here (the exFAT drive needs root, a loop "
                    "device and exfat-fuse)";
  const std::string S = PathText(s), D = PathText(d);
  std::string refused;
  for (int run = 1; run <= 3; run++) {
    SCOPED_TRACE(run);
#ifndef _WIN32
    if (run == 3)  // local time with daylight saving: the drive's times still match
      setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
#endif
    RunResult r = RunTandrel({S, D, "-lh=n"});
    // The name listed first is copied; the other finds its name taken, every run.
    if (run == 1)
      refused = r.out.find("README.TXT") < r.out.find("Readme.txt") ? "Readme.txt" : "README.TXT";
    else
      EXPECT_EQ(r.out, LogLines(D, {"add case/" + refused}));
    ExpectReports(r, {"Unable to copy " + Under(S, "case/" + refused)}, "File exists\n");
    EXPECT_EQ(ReadTextFile(d / "case/readme.txt"), refused == "Readme.txt" ? "upper\n" : "lower\n");
  }
#ifndef _WIN32
  unsetenv("TZ");
#endif
}
