// The command line as the program answers it: the help screen and when it is written, the
// error messages, and the header of an accepted command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <tuple>

#include "cli/options.h"
#include "program_state.h"

#ifndef _WIN32
#include <sys/utsname.h>
#endif

TEST(CommandLine, HelpScreenLayout) {
  RunResult r = RunTandrel({"-h"});
  EXPECT_EQ(r.exitCode, r.err.empty() ? 0 : 1);
  EXPECT_EQ(r.err, "");
  std::string text = r.out;
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  EXPECT_EQ(Console(text), r.out) << "line ends of another build";
  ASSERT_TRUE(!text.empty() && text.back() == '\n');
  std::vector<std::string> lines;
  for (size_t start = 0, end; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    EXPECT_LE(lines.back().size(), 80u) << lines.back();
  }
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Tandrel " TANDREL_VERSION);
#ifdef _WIN32
  EXPECT_EQ(lines[1], sizeof(void*) == 8
                          ? "x64 Unicode version"
                          : "Win32 Unicode version (incompatible with Windows 95/98/ME)");
#else
  struct utsname system;
  ASSERT_EQ(uname(&system), 0);
  EXPECT_EQ(lines[1], std::string(system.machine) + " Linux version");
#endif
  EXPECT_EQ(lines[2], "Usage: tandrel <source directory> <destination directory> [options]");
  // After "Options:", each block begins with its syntax line after a blank line: the help, the
  // patterns, then every option in table order with its default.
  auto options = std::find(lines.begin(), lines.end(), "Options:");
  ASSERT_NE(options, lines.end());
  std::vector<std::string> syntax,
      expected = {"--help, -h, -?, /?", "-x=<pattern>, --exclude=<pattern>",
                  "-i=<pattern>, --include=<pattern>"};
  std::copy_if(options + 1, lines.end(), std::back_inserter(syntax),
               [](const std::string& line) { return !line.empty() && (&line)[-1].empty(); });
  for (int row = 0; row < kOptionCount; row++) {
    const auto& [longName, shortName, defaultValue] = kOptionRows[row];
    bool number = row == kTimePrecision || row == kTimeShift;
    std::wstring value = row <= kNoMeta ? L"" : number ? L"[=number]" : L"[=y/n]";
    std::string line = Narrow(L"-" + (shortName + value) + L", --" + longName + value);
    expected.push_back(number         ? line + ", " + std::to_string(defaultValue) + " by default"
                       : defaultValue ? line + ", enabled by default"
                                      : line);
  }
  EXPECT_EQ(syntax, expected);
}

TEST(CommandLine, ExitCodeAndExactOutputOfEachKindOfLine) {
  const std::string help = RunTandrel({"-h"}).out, utf16 = Utf16(help);
  auto error = [](const std::string& text) { return Console("Error: " + text + "\n"); };
  TempDir work;
  for (const char* name : {"src", "-dash", "both", "out/in/deep"})
    fs::create_directories(work.path() / name);
  WriteTextFile(work.path() / "both" / "a.txt", "contents");
  WriteTextFile(work.path() / "file.txt", "not a directory");
  // Native: bytes that are not UTF-8 come back unchanged.
  const std::string raw = "dir\xff\xfe";
  if (!kWindowsBuild) {
    fs::create_directory(work.path() / raw);
    fs::create_directory_symlink(work.path() / "both", work.path() / "link");
  }
  const std::string before = Snapshot(work.path());
  // Paths print as typed: a trailing separator and a "./" prefix are kept.
  const std::string src = std::string("src") + kSeparator,
                    dash = std::string(".") + kSeparator + "-dash";
  // The longest directory argument, and one character more: MAX_PATH (Linux: PATH_MAX) - 1.
  const std::string fits(kWindowsBuild ? 259 : 4095, 'x'), tooLong = fits + "x";
  // Two-, three- and four-byte UTF-8 sequences, the last a surrogate pair in UTF-16.
  const std::string nonAscii = "missing-d\xC3\xAFr-\xE2\x82\xAC-\xF0\x9F\x98\x80";
  const std::string same = "the source and destination directories are the same: `",
                    inside = "the source directory lies inside the destination directory: `",
                    absolute = TempDir::PathText(work.path()),
                    in = std::string("out") + kSeparator + "in", deep = in + kSeparator + "deep";
  const std::string unknown = error("unknown option: `-X'."),
                    clash = "impossible to use both --exclude and --include options: `";
  // Arguments; exit code; standard output; standard error.
  using Case = std::tuple<std::vector<std::string>, int, std::string, std::string>;
  // clang-format off
  std::vector<Case> cases = {
      // A help request anywhere wins, in any letter case, before any option is in effect.
      {{"-?"}, 0, help, ""}, {{"-H"}, 0, help, ""}, {{"--help"}, 0, help, ""},
      {{"--hELp"}, 0, help, ""}, {{"/?"}, 0, help, ""}, {{src, dash, "-h"}, 0, help, ""},
      {{"-X=*.tmp", "--help"}, 0, help, ""}, {{"-i=*.txt", "-x=*.tmp", "-H"}, 0, help, ""},
      {{src, dash, "x", "-?"}, 0, help, ""}, {{"-lo=n", "-h"}, 0, help, ""},
      // Fewer than two directories: the help with exit code 1, in UTF-16LE under -lo=n.
      {{}, 1, help, ""}, {{"-v", "-lc=n", "--time-shift=3"}, 1, help, ""},
      {{"", "src", ""}, 1, help, ""}, {{"-lo=n"}, 1, utf16, ""},
      {{"src", "--log-oem=n"}, 1, utf16, ""},
      // One error, with exit code 1; in UTF-16LE when -lo=n came before it.
      {{"-X=*.tmp"}, 1, "", unknown}, {{"-h=1"}, 1, "", error("unknown option: `-h'.")},
      {{src, dash, "-X", "-Q"}, 1, "", unknown},
      {{"-x=*.tmp", "--include=a=b"}, 1, "", error(clash + "--include'.")},
      {{src, dash, "x"}, 1, "", error("too many directories specified: `x'")},
      {{"missing", dash}, 1, "", error("invalid source directory: `missing'")},
      {{src, "file.txt"}, 1, "", error("invalid destination directory: `file.txt'")},
      {{fits}, 1, "", error("invalid source directory: `" + fits + "'")},
      {{tooLong}, 1, "", error("source directory is too long: `" + tooLong + "'")},
      {{src, tooLong}, 1, "", error("destination directory is too long: `" + tooLong + "'")},
      {{"-lo=n", "-X=1"}, 1, "", Utf16(unknown)}, {{"-X", "-lo=n"}, 1, "", unknown},
      {{"-lo=n", nonAscii}, 1, "", Utf16(error("invalid source directory: `" + nonAscii + "'"))},
      // Accepted: exactly the header, and nothing changes.
      {{src, dash}, 0, Header(src, dash), ""},
      {{"", "src", "", dash, ""}, 0, Header("src", dash), ""},
      {{"-lh=n", src, dash}, 0, "", ""}, {{src, dash, "--log-header=0"}, 0, "", ""},
      // Overlapping roots, told apart by identity whatever the spelling: refused, nothing written.
      {{"both", "both"}, 1, "", error(same + "both'")},
      {{".", absolute}, 1, "", error(same + absolute + "'")},
      {{in, "out"}, 1, "", error(inside + in + "'")},
      {{absolute + kSeparator + deep, "out"}, 1, "", error(inside + absolute + kSeparator + deep + "'")},
      {{src, dash + kSeparator + ".."}, 1, "", error(inside + src + "'")},
      {{"-x", "-i=*.txt", src, dash}, 0, Header(src, dash), ""},  // no pattern yet: no clash
      {{src, "-lo=n", dash}, 0, Utf16(Header(src, dash)), ""}};
  // clang-format on
  if (!kWindowsBuild) {
    cases.push_back({{raw + "x"}, 1, "", "Error: invalid source directory: `" + raw + "x'\n"});
    cases.push_back({{raw, "src"}, 0, Header(raw, "src"), ""});
    cases.push_back({{"link", "both"}, 1, "", error(same + "both'")});
  } else {
    cases.push_back({{"BOTH", "both"}, 1, "", error(same + "both'")});
  }
  for (const auto& [arguments, exitCode, out, err] : cases) {
    std::string trace;
    for (const std::string& argument : arguments) trace += "[" + argument + "] ";
    SCOPED_TRACE(trace);
    RunResult r = RunTandrel(arguments, work.path());
    EXPECT_EQ(r.exitCode, exitCode);
    EXPECT_EQ(r.out, out);
    EXPECT_EQ(r.err, err);
  }
  EXPECT_EQ(Snapshot(work.path()), before);
}
