// The help screen: its spellings, its layout, when it wins over errors, and the help written
// with exit code 1 when a directory is missing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tandrel_test.h"

#ifndef _WIN32
#include <sys/utsname.h>
#endif

namespace {

// The second line of the help screen for the build under test.
std::string ExpectedBuildLine() {
  if (kWindowsBuild) {
    return sizeof(void*) == 8 ? "x64 Unicode version"
                              : "Win32 Unicode version (incompatible with Windows 95/98/ME)";
  }
#ifdef _WIN32
  return "";
#else
  struct utsname system;
  if (uname(&system) != 0)
    return "uname failed";
  return std::string(system.machine) + " Linux version";
#endif
}

// The syntax line of every option block, in the order the help screen lists them.
const std::vector<std::string> kSyntaxLines = {
    "--help, -h, -?, /?",
    "-x=<pattern>, --exclude=<pattern>",
    "-i=<pattern>, --include=<pattern>",
    "-v, --virtual",
    "-ua, --unset-archive",
    "-nr, --no-recurse",
    "-nj, --no-junctions",
    "-nd, --no-delete",
    "-na, --no-add",
    "-nu, --no-update",
    "-nm, --no-meta",
    "-ct[=y/n], --compare-time[=y/n], enabled by default",
    "-cs[=y/n], --compare-size[=y/n], enabled by default",
    "-ca[=y/n], --compare-archive[=y/n]",
    "-cc[=y/n], --compare-contents[=y/n]",
    "-tcc[=y/n], --time-compare-contents[=y/n]",
    "-fsf[=y/n], --time-shift-fat[=y/n], enabled by default",
    "-tp[=number], --time-precision[=number], 5 by default",
    "-ts[=number], --time-shift[=number], 0 by default",
    "-tm[=y/n], --time-meta[=y/n]",
    "-lh[=y/n], --log-header[=y/n], enabled by default",
    "-lc[=y/n], --log-changes[=y/n], enabled by default",
    "-le[=y/n], --log-equal[=y/n]",
    "-li[=y/n], --log-ignored[=y/n]",
    "-lcc[=y/n], --log-compare-contents[=y/n], enabled by default",
    "-ltd[=y/n], --log-time-diff[=y/n]",
    "-lm[=y/n], --log-meta[=y/n], enabled by default",
    "-ld[=y/n], --log-directories[=y/n]",
    "-ll[=y/n], --log-list[=y/n]",
    "-lo[=y/n], --log-oem[=y/n], enabled by default",
};

std::string WithoutCarriageReturns(const std::string& text) {
  std::string kept;
  for (char c : text) {
    if (c != '\r')
      kept += c;
  }
  return kept;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Groups of non-empty lines separated by empty lines.
std::vector<std::vector<std::string>> Paragraphs(const std::vector<std::string>& lines,
                                                 size_t begin, size_t end) {
  std::vector<std::vector<std::string>> groups;
  bool open = false;
  for (size_t i = begin; i < end; i++) {
    if (lines[i].empty()) {
      open = false;
    } else {
      if (!open)
        groups.emplace_back();
      open = true;
      groups.back().push_back(lines[i]);
    }
  }
  return groups;
}

std::string Joined(const std::vector<std::string>& arguments) {
  std::string text;
  for (const auto& argument : arguments) text += "[" + argument + "] ";
  return text;
}

// The help screen as "-h" writes it, checked to start as every help screen does.
std::string HelpScreen() {
  RunResult r = RunTandrel({"-h"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.rfind(Console("Tandrel 1.5.0\n" + ExpectedBuildLine() + "\n"), 0), 0u) << r.out;
  return r.out;
}

}  // namespace

TEST(HelpScreen, NamesTheBuildAndListsEveryOptionBlockInOrder) {
  RunResult r = RunTandrel({"-h"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  ASSERT_FALSE(r.out.empty());

  // Line ends: carriage return plus line feed on Windows, a line feed alone on Linux; the text
  // ends with one.
  std::string text = WithoutCarriageReturns(r.out);
  EXPECT_EQ(Console(text), r.out) << "stray carriage returns or missing ones";
  ASSERT_EQ(text.back(), '\n');
  for (char c : text) EXPECT_LT(static_cast<unsigned char>(c), 0x80u) << "not 7-bit ASCII";

  std::vector<std::string> lines = SplitLines(text);
  ASSERT_GE(lines.size(), 4u);
  for (const auto& line : lines) EXPECT_LE(line.size(), 80u) << line;
  EXPECT_EQ(lines[0], "Tandrel 1.5.0");
  EXPECT_EQ(lines[1], ExpectedBuildLine());
  EXPECT_EQ(lines[2], "Usage: tandrel <source directory> <destination directory> [options]");
  EXPECT_EQ(lines[3], "");
  EXPECT_NE(lines.back(), "") << "the text ends with the last explanation's line end";

  size_t options = 0;
  while (options < lines.size() && lines[options] != "Options:") options++;
  ASSERT_LT(options, lines.size()) << "no \"Options:\" line";
  EXPECT_EQ(lines[options - 1], "");

  // Six paragraphs between the usage line and "Options:", the last one about the exit code.
  auto paragraphs = Paragraphs(lines, 3, options);
  ASSERT_EQ(paragraphs.size(), 6u);
  EXPECT_EQ(paragraphs[5], std::vector<std::string>{"Returns 0 on success, 1 on error."});

  // One block per option: its syntax line, then one to six lines of explanation.
  auto blocks = Paragraphs(lines, options + 1, lines.size());
  ASSERT_EQ(blocks.size(), kSyntaxLines.size());
  for (size_t i = 0; i < blocks.size(); i++) {
    EXPECT_EQ(blocks[i][0], kSyntaxLines[i]);
    EXPECT_GE(blocks[i].size(), 2u) << kSyntaxLines[i];
    EXPECT_LE(blocks[i].size(), 7u) << kSyntaxLines[i];
  }
  std::string exclude;
  for (const auto& line : blocks[1]) exclude += line + "\n";
  EXPECT_NE(exclude.find(std::string("Examples: *.txt, *") + kSeparator + ".git, *.i??"),
            std::string::npos)
      << exclude;
}

TEST(HelpScreen, EverySpellingInAnyCaseExitsWithZero) {
  std::string help = HelpScreen();
  for (const char* spelling : {"-?", "-h", "-H", "--help", "--HELP", "--Help", "--hELp", "/?"}) {
    SCOPED_TRACE(spelling);
    RunResult r = RunTandrel({spelling});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, help);
    EXPECT_EQ(r.err, "");
  }
}

TEST(HelpScreen, WinsOverEveryErrorAnywhereOnTheLine) {
  std::string help = HelpScreen();
  TempDir source, destination, scratch;
  std::string missing = TempDir::PathText(scratch.path() / "missing");
  const std::vector<std::vector<std::string>> cases = {
      {source.str(), destination.str(), "-h"},
      {"-X=*.tmp", "--help"},
      {"-", "/?"},
      {missing, "-?"},
      {"-i=*.txt", "-x=*.tmp", "-H"},
      {source.str(), destination.str(), missing, "--HELP"},
      {"-h", source.str(), "-X"},
      // No option is in effect yet: this help is in the console code page too.
      {"-lo=n", "-h"},
      {"--log-oem=n", source.str(), destination.str(), "/?"},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(Joined(arguments));
    RunResult r = RunTandrel(arguments);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, help);
    EXPECT_EQ(r.err, "");
  }
}

TEST(HelpScreen, OnlyTheWholeArgumentIsAHelpRequest) {
  struct Case {
    std::vector<std::string> arguments;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"-h=1"}, "Error: unknown option: `-h'.\n"},
      {{"--help=yes"}, "Error: unknown option: `--help'.\n"},
      {{"-?="}, "Error: unknown option: `-?'.\n"},
      {{"-hh"}, "Error: unknown option: `-hh'.\n"},
      {{"/?x"}, "Error: invalid source directory: `/?x'\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.arguments));
    RunResult r = RunTandrel(c.arguments);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, Console(c.message));
  }
}

TEST(HelpScreen, MissingDirectoriesWriteTheHelpWithExitCodeOne) {
  std::string help = HelpScreen();
  TempDir source;
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"-v", "-lc=n", "--time-shift=3"},
      {"", ""},
      {source.str()},
      {source.str(), "-x=*.tmp", ""},
      {"-lo=n", "-lo=y"},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(Joined(arguments));
    RunResult r = RunTandrel(arguments);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, help);
    EXPECT_EQ(r.err, "");
  }
}

TEST(HelpScreen, MissingDirectoryHelpFollowsLogOemOnTheLine) {
  std::string help = HelpScreen();
  std::string utf16 = Utf16(Console(WithoutCarriageReturns(help)));
  ASSERT_EQ(utf16.size(), 2 * help.size());
  TempDir source;
  const std::vector<std::vector<std::string>> cases = {
      {"-lo=n"},
      {source.str(), "--log-oem=n"},
      {"-lo=0", "", source.str()},
      {"-lo=y", "-lo=N"},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(Joined(arguments));
    RunResult r = RunTandrel(arguments);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, utf16) << "UTF-16LE without a byte-order mark";
    EXPECT_EQ(r.err, "");
  }
}
