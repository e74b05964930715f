// The run summary under --log-summary: one last line with the counts of the run, what a dry
// run would do, the reports written on the standard error; nothing without the option.
#include <algorithm>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <tuple>

#include "tandrel_test.h"

TEST(Summary, CountsOfEachRun) {
  // Options, whether the destination directory "locked" is immutable, and the counts:
  // added, updated, deleted, directories deleted, equal, ignored, failed, bytes copied ("": no
  // summary line). The locked case is last: where no lock can be made, the test ends there.
  const std::tuple<std::vector<std::string>, bool, std::string> cases[] = {
      {{"-ls"}, false, "2 1 2 1 1 0 0 12"},
      {{"-ls", "-v"}, false, "2 1 2 1 1 0 0 12"},
      {{"-md=3", "-ls"}, false, "2 1 2 1 1 0 0 12"},  // the limit's counting pass is not counted
      {{"-ls", "-nd", "-nu"}, false, "2 0 0 0 1 4 0 6"},
      {{"-ls=y", "-na", "-ll"}, false, "0 1 2 1 1 2 0 6"},
      {{"-ls", "-ls=n", "-le", "-li"}, false, ""},
      {{"-ls", "-i=*up*"}, false, "0 1 0 0 0 0 0 6"},  // gone stays for g.txt: not deleted
      {{"-ls"}, true, "1 0 1 1 1 0 3 4"}};
  for (const auto& [options, locked, counts] : cases) {
    SCOPED_TRACE(options.back() + " " + counts);
    TreePair t;
    MakeFiles(t.source, "new/n.txt=nnnn locked/eq.txt=same locked/add.txt=aa");
    MakeFile(t.source / "locked/up.txt", "fresh!", kFileTime + 100 * kSecond);
    MakeFiles(t.destination,
              "locked/eq.txt=same locked/up.txt=old locked/old.txt=o del.txt=x gone/g.txt=g");
    const std::string dir = " '" + PathText(t.destination / "locked") + "'";
    if (locked && (kWindowsBuild || std::system(("chattr +i" + dir + " 2>/dev/null").c_str())))
      GTEST_SKIP() << "No directory can be made immutable here (chattr +i, as root on Linux)";
    RunResult r = t.Run(options);
    EXPECT_TRUE(!locked || std::system(("chattr -i" + dir).c_str()) == 0);
    // The failed count is the number of reports, one line each (a failed action counts there
    // alone); the exit code follows it.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), locked ? 3 : 0) << r.err;
    EXPECT_EQ(r.exitCode, locked);
    // The last line, seconds as a pattern; without the option no summary at all.
    std::istringstream numbers(counts);
    std::string line = "(^|\n)Summary: ", number;
    for (const char* word : {" added, ", " updated, ", " deleted, ", " directories deleted, ",
                             " equal, ", " ignored, ", " failed; ", " bytes copied"})
      line += (numbers >> number, number) + word;
    std::regex summary(counts.empty() ? "Summary"
                                      : line + " in [0-9]+\\.[0-9] seconds" + Console("\n$"));
    EXPECT_EQ(std::regex_search(r.out, summary), !counts.empty()) << r.out;
  }
}
