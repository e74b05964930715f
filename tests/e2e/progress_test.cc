// --progress: a status line on a terminal only, cleared before every line of the log and at the
// end, so that the log reads exactly as without it.
#include <chrono>
#include <tuple>
#include <regex>

#include "tandrel_test.h"

TEST(Progress, StatusLineOnlyOnATerminalAndClearedBeforeEachLine) {
  TreePair t;
  // Enough files for several tenths of a second, below a path too long for a 60-column line.
  const std::string deep = "a-directory-name-long-enough-to-be-shortened-in-the-middle";
  std::string entries = "old/f=x";
  for (int i = 0; i < 3000; i++) entries += " " + deep + "/f" + std::to_string(i) + "=x";
  MakeFiles(t.source, entries.substr(8));
  MakeFiles(t.destination, entries.substr(0, 8));
  // To files: the same bytes with the option as without it (a dry run: the same trees twice).
  RunResult plain = t.Run({"-v"}), progress = t.Run({"-v", "-p"});
  EXPECT_EQ(std::tie(progress.out, progress.err, progress.exitCode),
            std::tie(plain.out, plain.err, plain.exitCode = 0));
  if (kWindowsBuild)
    GTEST_SKIP() << "No pseudo-terminal to run the program on (a console cannot be read back here)";
  auto start = std::chrono::steady_clock::now();
  RunResult r = RunTandrel({t.source.string(), t.destination.string(), "-lh=n", "-p"}, {}, 60);
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(Listing(t.source), Listing(t.destination));
  // Each line of the log (and the end) follows status lines ("\r" and the text), the last of
  // them cleared with blanks; what is left is the log as the dry run wrote it.
  const std::regex line("((\r[^\r\n]*)*\r +\r)?([^\r\n]*\n|$)"),
      status("\r( *[^ \r\n][^\r\n]*)(?=\r)");
  std::string log;
  size_t covered = 0;
  for (std::sregex_iterator i(r.out.begin(), r.out.end(), line), end;
       i != end && i->position() == static_cast<ptrdiff_t>(covered); ++i)
    log += (*i)[3], covered += i->length();
  EXPECT_EQ(covered, r.out.size()) << r.out.substr(covered);
  EXPECT_EQ(log, plain.out) << r.out;
  // Rewritten at most ten times a second, fitting 59 columns, the directory shortened; each
  // file added was listed first (and the new directory), "old" and its file were counted.
  const std::regex counts(
      "([0-9]+)/([0-9]+) entries  \\+([0-9]+) ~0 -([01])  .*/s  .+\\.\\.\\.[-a-z]+ *");
  int lines = 0, adding = 0;
  for (std::sregex_iterator i(r.out.begin(), r.out.end(), status), end; i != end; ++i, ++lines) {
    std::string text = (*i)[1];
    std::smatch m;
    EXPECT_LE(text.size(), 59u) << text;
    if (std::regex_match(text, m, counts) && std::stoi(m[3]) > 0 && ++adding) {
      EXPECT_TRUE(std::stoi(m[1]) > std::stoi(m[3]) && m[2] == "2" && m[4] == "1") << text;
    }
  }
  EXPECT_TRUE(lines >= 2 && lines <= elapsed * 10 + 1 && adding >= 1) << lines << " " << elapsed;
  // Nothing else to write: the line at once, cleared at the end.
  RunResult quiet =
      RunTandrel({t.source.string(), t.destination.string(), "-lh=n", "-p", "-v"}, {}, 60);
  EXPECT_TRUE(quiet.exitCode == 0 && std::regex_match(quiet.out, std::regex("(\r[^\r\n]+)+\r +\r")))
      << quiet.out;
}
