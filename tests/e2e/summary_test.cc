// The run summary under --log-summary: one last line with the counts of the run or of what a dry
// run would do; nothing without the option. (Failed actions counted: safety_test.cc.)
#include <regex>
#include <sstream>

#include "tandrel_test.h"

TEST(Summary, CountsOfEachRun) {
  // Options and the counts: added, updated, deleted, directories deleted, equal, ignored, failed,
  // bytes copied ("": no summary line).
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"-ls"}, "2 1 2 1 1 0 0 12"},
      {{"-ls", "-v"}, "2 1 2 1 1 0 0 12"},
      {{"-md=3", "-ls"}, "2 1 2 1 1 0 0 12"},  // the limit's counting pass is not counted
      {{"-ls", "-nd", "-nu"}, "2 0 0 0 1 4 0 6"},
      {{"-ls=y", "-na", "-ll"}, "0 1 2 1 1 2 0 6"},
      {{"-ls", "-ls=n", "-le", "-li"}, ""},
      {{"-ls", "-i=*up*"}, "0 1 0 0 0 0 0 6"}};  // gone stays for g.txt: not deleted
  for (const auto& [options, counts] : cases) {
    SCOPED_TRACE(options.back() + " " + counts);
    TreePair t;
    MakeFiles(t.source, "new/n.txt=nnnn d/eq.txt=same d/add.txt=aa");
    MakeFile(t.source / "d/up.txt", "fresh!", kFileTime + 100 * kSecond);
    MakeFiles(t.destination, "d/eq.txt=same d/up.txt=old d/old.txt=o del.txt=x gone/g.txt=g");
    RunResult r = t.Run(options);
    EXPECT_EQ(std::to_string(r.exitCode) + r.err, "0");
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
