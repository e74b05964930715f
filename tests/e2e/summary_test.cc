// The run summary under --log-summary: one last line with the counts of the run, what a dry
// run would do, the reports written on the standard error; nothing without the option.
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <tuple>

#include "tandrel_test.h"

namespace {

// Holds the destination's "locked" directory (native) or the file in it (Windows) so that no
// copy can replace its file; false when this machine cannot.
struct Lock {
  fs::path directory;
#ifdef _WIN32
  HANDLE file = INVALID_HANDLE_VALUE;
  bool Take() {
    file = CreateFileW((directory / "up.txt").wstring().c_str(), GENERIC_READ, 0, nullptr,
                       OPEN_EXISTING, 0, nullptr);
    return file != INVALID_HANDLE_VALUE;
  }
  ~Lock() {
    CloseHandle(file);
  }
#else
  std::string quoted = "'" + directory.native() + "'";
  bool Take() {
    for (std::string command : {"chmod a-w ", "chattr +i "}) {
      if (std::system((command + quoted + " 2>/dev/null").c_str()) != 0)
        continue;
      std::ofstream(directory / "probe") << "probe";
      if (!fs::exists(directory / "probe"))
        return true;
      fs::remove(directory / "probe");
    }
    return false;
  }
  ~Lock() {
    std::system(("chattr -i " + quoted + " 2>/dev/null; chmod u+w " + quoted).c_str());
  }
#endif
};

// The summary line up to " in" for the counts in the order of its eight numbers.
std::string SummaryLine(const std::string& counts) {
  const char* const kWords[] = {" added, ", " updated, ", " deleted, ", " directories deleted, ",
                                " equal, ", " ignored, ", " failed; ",  " bytes copied"};
  std::istringstream numbers(counts);
  std::string line = "Summary: ", number;
  for (const char* word : kWords) line += (numbers >> number, number) + word;
  return line;
}

TEST(Summary, CountsOfEachRun) {
  // Options, whether the destination's file is locked, and the counts: added, updated,
  // deleted, directories deleted, equal, ignored, failed, bytes copied ("": no summary line).
  // The lock case is last: where no lock can be made, the test ends there.
  const std::tuple<std::vector<std::string>, bool, std::string> cases[] = {
      {{"-ls"}, false, "1 1 1 1 1 0 0 10"},
      {{"-ls", "-v"}, false, "1 1 1 1 1 0 0 10"},
      {{"-ls", "-nd", "-nu"}, false, "1 0 0 0 1 3 0 4"},
      {{"-ls=y", "-na", "-ll"}, false, "0 1 1 1 1 1 0 6"},
      {{"-ls", "-ls=n", "-le", "-li"}, false, ""},
      {{"-ls"}, true, "1 1 1 1 1 0 1 4"}};
  for (const auto& [options, locked, counts] : cases) {
    SCOPED_TRACE(options.back() + " " + counts);
    TreePair t;
    MakeFiles(t.source, "new/n.txt=nnnn locked/eq.txt=same");
    MakeFile(t.source / "locked/up.txt", "fresh!", kFileTime + 100 * kSecond);
    MakeFiles(t.destination, "locked/eq.txt=same locked/up.txt=old del.txt=x gone/g.txt=g");
    const std::string before = Snapshot(t.destination);
    Lock lock{t.destination / "locked"};
    if (locked && !lock.Take()) {
      GTEST_SKIP() << "No destination file can be kept from being replaced here";
    }
    RunResult r = t.Run(options);
    // Failed: one report per "Unable to", and the exit code says so.
    size_t reports = 0;
    for (size_t at = 0; (at = r.err.find("Unable to ", at)) != std::string::npos; at++) reports++;
    EXPECT_EQ(reports, locked ? 1u : 0u) << r.err;
    EXPECT_EQ(r.exitCode, reports > 0 ? 1 : 0);
    size_t last = r.out.rfind("Summary: ");
    if (counts.empty()) {
      EXPECT_EQ(last, std::string::npos) << r.out;
      continue;
    }
    ASSERT_NE(last, std::string::npos) << r.out;
    EXPECT_TRUE(std::regex_match(
        r.out.substr(last),
        std::regex(SummaryLine(counts) + " in [0-9]+\\.[0-9] seconds" + Console("\n"))))
        << r.out;
    EXPECT_EQ(r.out.find("Summary: "), last) << "one summary line only";
    if (options.back() == "-v") {
      EXPECT_EQ(Snapshot(t.destination), before);
    }
  }
}

}  // namespace
