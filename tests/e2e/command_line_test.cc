// The command line: the help screen and when it is written, the five error messages, the
// directory arguments and their length limit, and the header of an accepted command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tandrel_test.h"

#ifndef _WIN32
#include <sys/utsname.h>
#endif

namespace {

using Arguments = std::vector<std::string>;

// Runs the program and checks its exit code and both output streams byte for byte.
void Expect(const Arguments& arguments, int exitCode, const std::string& out,
            const std::string& err, const fs::path& workingDirectory = {}) {
  std::string trace;
  for (const auto& argument : arguments) trace += "[" + argument + "] ";
  SCOPED_TRACE(trace);
  RunResult r = RunTandrel(arguments, workingDirectory);
  EXPECT_EQ(r.exitCode, exitCode);
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(r.err, err);
}

std::string Error(const std::string& text) {
  return Console("Error: " + text + "\n");
}

std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// The help screen as "-h" writes it.
std::string HelpScreen() {
  RunResult r = RunTandrel({"-h"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  return r.out;
}

// The second line of the help screen for the build under test.
std::string ExpectedBuildLine() {
#ifdef _WIN32
  return sizeof(void*) == 8 ? "x64 Unicode version"
                            : "Win32 Unicode version (incompatible with Windows 95/98/ME)";
#else
  struct utsname system;
  return uname(&system) == 0 ? std::string(system.machine) + " Linux version" : "uname failed";
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

// A path of `length` characters below base, made of names of "x"s that do not exist.
std::string PathOfLength(std::string path, size_t length) {
  while (path.size() < length) {
    size_t room = length - path.size();
    path += room == 1 ? std::string("x")
                      : kSeparator + std::string(std::min<size_t>(room - 1, 100), 'x');
  }
  return path;
}

// The longest directory argument plus one: MAX_PATH on Windows, PATH_MAX on Linux.
constexpr size_t kMaxPath = kWindowsBuild ? 260 : 4096;

}  // namespace

TEST(CommandLine, HelpScreenLayout) {
  std::string help = HelpScreen();
  std::string text = WithoutCarriageReturns(help);
  EXPECT_EQ(Console(text), help) << "line ends of another build";
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');

  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    EXPECT_LE(lines.back().size(), 80u) << lines.back();
  }
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Tandrel 1.5.0");
  EXPECT_EQ(lines[1], ExpectedBuildLine());
  EXPECT_EQ(lines[2], "Usage: tandrel <source directory> <destination directory> [options]");

  // After "Options:", each block begins with its syntax line after a blank line.
  auto options = std::find(lines.begin(), lines.end(), "Options:");
  ASSERT_NE(options, lines.end());
  std::vector<std::string> syntax;
  for (auto line = options + 1; line != lines.end(); ++line) {
    if (!line->empty() && (line[-1].empty() || line == options + 1))
      syntax.push_back(*line);
  }
  EXPECT_EQ(syntax, kSyntaxLines);
}

TEST(CommandLine, HelpRequestAnywhereWinsWithExitCodeZero) {
  std::string help = HelpScreen();
  TempDir source, destination;
  const std::vector<Arguments> cases = {
      {"-?"},
      {"-H"},
      {"--help"},
      {"--HELP"},
      {"--hELp"},
      {"/?"},
      {source.str(), destination.str(), "-h"},       // after valid directories
      {"-X=*.tmp", "--help"},                        // after an unknown option
      {"-i=*.txt", "-x=*.tmp", "-H"},                // after a clash
      {source.str(), destination.str(), "x", "-?"},  // after a third directory
      {"-lo=n", "-h"},  // no option is in effect yet: the help is not UTF-16
  };
  for (const auto& arguments : cases) Expect(arguments, 0, help, "");
}

TEST(CommandLine, FewerThanTwoDirectoriesWriteTheHelpWithExitCodeOne) {
  std::string help = HelpScreen();
  std::string utf16 = Utf16(help);  // UTF-16LE without a byte-order mark
  ASSERT_EQ(utf16.size(), 2 * help.size());
  TempDir source;
  const std::vector<std::pair<Arguments, std::string>> cases = {
      {{}, help},         {{"-v", "-lc=n", "--time-shift=3"}, help}, {{"", source.str(), ""}, help},
      {{"-lo=n"}, utf16}, {{source.str(), "--log-oem=n"}, utf16},
  };
  for (const auto& [arguments, out] : cases) Expect(arguments, 1, out, "");
}

TEST(CommandLine, RejectedLinesWriteOneErrorWithExitCodeOne) {
  TempDir source, destination, scratch;
  std::string missing = TempDir::PathText(scratch.path() / "missing");
  WriteTextFile(scratch.path() / "file.txt", "not a directory");
  std::string file = TempDir::PathText(scratch.path() / "file.txt");
  std::string longest = PathOfLength(scratch.str(), kMaxPath - 1);
  std::string tooLong = PathOfLength(scratch.str(), kMaxPath);
  // "dïr-€-😀": two-, three- and four-byte UTF-8 sequences, the last a surrogate pair in UTF-16.
  std::string nonAscii = "missing-d\xC3\xAFr-\xE2\x82\xAC-\xF0\x9F\x98\x80";
  const std::string clash = "impossible to use both --exclude and --include options: `";
  const std::vector<std::pair<Arguments, std::string>> cases = {
      {{"-X=*.tmp"}, Error("unknown option: `-X'.")},  // names respect case; quoted up to "="
      {{"--i=foo"}, Error("unknown option: `--i'.")},  // a short name in long form
      {{"-include=foo"}, Error("unknown option: `-include'.")},  // a long name in short form
      {{"-"}, Error("unknown option: `-'.")},
      {{"--"}, Error("unknown option: `--'.")},
      {{"-h=1"}, Error("unknown option: `-h'.")},  // only the whole argument asks for help
      {{source.str(), destination.str(), "-X", "-Q"}, Error("unknown option: `-X'.")},
      {{"-i=*.txt", "-x=*.tmp"}, Error(clash + "-x'.")},
      {{"-x=*.tmp", "--include=a=b"}, Error(clash + "--include'.")},
      {{source.str(), destination.str(), "no-such-directory"},
       Error("too many directories specified: `no-such-directory'")},
      {{missing, destination.str()}, Error("invalid source directory: `" + missing + "'")},
      {{source.str(), file}, Error("invalid destination directory: `" + file + "'")},
      {{longest}, Error("invalid source directory: `" + longest + "'")},
      {{tooLong}, Error("source directory is too long: `" + tooLong + "'")},
      {{source.str(), tooLong}, Error("destination directory is too long: `" + tooLong + "'")},
      // Under -lo=n given before the bad argument, errors are UTF-16; after it, it is not read.
      {{"-lo=n", "-X=1"}, Utf16(Error("unknown option: `-X'."))},
      {{"--log-oem=n", "-i=a", "-x=b"}, Utf16(Error(clash + "-x'."))},
      {{"-lo=n", nonAscii}, Utf16(Error("invalid source directory: `" + nonAscii + "'"))},
      {{"-X", "-lo=n"}, Error("unknown option: `-X'.")},
  };
  for (const auto& [arguments, err] : cases) Expect(arguments, 1, "", err);
}

TEST(CommandLine, AcceptedLinesWriteExactlyTheHeader) {
  TempDir work;
  fs::create_directory(work.path() / "src");
  fs::create_directory(work.path() / "-dash");
  fs::create_directory(work.path() / "both");
  WriteTextFile(work.path() / "both" / "a.txt", "contents");
  std::string before = Snapshot(work.path());
  // Printed as typed: a trailing separator and a "./" prefix are kept.
  const std::string src = std::string("src") + kSeparator;
  const std::string dash = std::string(".") + kSeparator + "-dash";
  const std::vector<std::pair<Arguments, std::string>> cases = {
      {{src, dash}, Header(src, dash)},
      {{"", "src", "", dash, ""}, Header("src", dash)},  // empty arguments are skipped
      {{"-lh=n", src, dash}, ""},
      {{src, dash, "--log-header=0"}, ""},
      {{"both", "both"}, Header("both", "both")},          // nothing compares the two directories
      {{"-x", "-i=*.txt", src, dash}, Header(src, dash)},  // no pattern yet: no clash
      {{src, "-lo=n", dash}, Utf16(Header(src, dash))},
  };
  for (const auto& [arguments, out] : cases) Expect(arguments, 0, out, "", work.path());
  EXPECT_EQ(Snapshot(work.path()), before);
}

TEST(CommandLine, BytesThatAreNotUtf8ComeBackUnchanged) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows arguments and file names are UTF-16: there are no such bytes";
#else
  TempDir work, destination;
  const std::string name = "dir\xff\xfe";
  Expect({name}, 1, "", "Error: invalid source directory: `dir\xff\xfe'\n", work.path());
  ASSERT_TRUE(fs::create_directory(work.path() / name));
  Expect({name, destination.str()}, 0, Header(name, destination.str()), "", work.path());
#endif
}
