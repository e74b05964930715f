// The command line as the program answers it: the help screen and when it is written, the
// error messages, and the header of an accepted command line.
#include <tuple>

#include "tandrel_test.h"

TEST(CommandLine, ExitCodeAndExactOutputOfEachKindOfLine) {
  // UTF-16LE bytes, composed here rather than by the program's conversion; ASCII text widened.
  auto utf16 = [](const std::u16string& text) {
    std::string bytes;
    for (char16_t unit : text) bytes += {static_cast<char>(unit), static_cast<char>(unit >> 8)};
    return bytes;
  };
  auto wide = [](const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); };
  auto error = [](const std::string& text) { return Console("Error: " + text + "\n"); };
  const std::string help = RunTandrel({"-h"}).out, unknown = error("unknown option: `-X'.");
  // The help names the version and the build, and the summary option among the log options.
  const size_t ld = help.find("-ld[=y/n], --log-directories[=y/n]"),
               ls = help.find("-ls[=y/n], --log-summary[=y/n]"), ll = help.find("-ll[=y/n]");
  EXPECT_TRUE(help.rfind("Tandrel " TANDREL_VERSION, 0) == 0 &&
              help.find(BUILD_LINE) != std::string::npos && ld < ls && ls < ll)
      << help;
  TempDir work;
  MakeFiles(work.path(), "src/ -dash/ both/a.txt=contents out/in/ file.txt=x");
  // Native: bytes that are not UTF-8 come back unchanged, an overlong "/" too.
  const std::string raw = "dir\xff\xfe\xe0\x80\xaf", sep = kSeparator, absolute = work.str();
  if (!kWindowsBuild) {
    fs::create_directory(work.path() / raw);
    fs::create_directory_symlink(work.path() / "both", work.path() / "link");
  }
  // Paths print as typed: a trailing separator and a "./" prefix are kept.
  const std::string before = Listing(work.path(), true), src = "src" + sep,
                    dash = "." + sep + "-dash";
  // The longest directory argument, and one character more: kShortPathLimit (Linux: PATH_MAX) - 1.
  const std::string fits(kWindowsBuild ? 259 : 4095, 'x'), tooLong = fits + "x";
  // Two-, three- and four-byte UTF-8 sequences, the last a surrogate pair in UTF-16.
  const std::string nonAscii = "missing-d\xC3\xAFr-\xE2\x82\xAC-\xF0\x9F\x98\x80";
  const std::string same = "the source and destination directories are the same: `",
                    inside = "the source directory lies inside the destination directory: `";
  // Arguments; exit code; standard output; standard error.
  using Case = std::tuple<std::vector<std::string>, int, std::string, std::string>;
  // clang-format off
  std::vector<Case> cases = {
      // A help request anywhere wins, in any letter case, before any option is in effect.
      {{"--hELp"}, 0, help, ""}, {{"/?"}, 0, help, ""}, {{"-X=*.tmp", "-H"}, 0, help, ""},
      {{"-i=*.txt", "-x=*.tmp", "-h"}, 0, help, ""}, {{src, dash, "x", "-?"}, 0, help, ""},
      {{"-lo=n", "-h"}, 0, help, ""}, {{"--version", "-?"}, 0, help, ""},
      // A version request: the help's first line alone, whatever else is there.
      {{src, "-X", "-lo=n", "--version"}, 0, help.substr(0, help.find('\n') + 1), ""},
      {{"--Version"}, 1, "", error("unknown option: `--Version'.")},
      // Fewer than two directories: the help with exit code 1, in UTF-16LE under -lo=n.
      {{}, 1, help, ""}, {{"", "src", ""}, 1, help, ""}, {{"src", "--log-oem=n"}, 1, utf16(wide(help)), ""},
      // One error, with exit code 1; in UTF-16LE when -lo=n came before it.
      {{"-X=*.tmp"}, 1, "", unknown}, {{"-h=1"}, 1, "", error("unknown option: `-h'.")},
      {{src, dash, "-X", "-Q"}, 1, "", unknown},
      {{"-x=*.tmp", "--include=a=b"}, 1, "", error("impossible to use both --exclude and --include options: `--include'.")},
      {{src, dash, "x"}, 1, "", error("too many directories specified: `x'")},
      {{"missing", dash}, 1, "", error("invalid source directory: `missing'")},
      {{src, "file.txt"}, 1, "", error("invalid destination directory: `file.txt'")},
      {{fits}, 1, "", error("invalid source directory: `" + fits + "'")},
      {{tooLong}, 1, "", error("source directory is too long: `" + tooLong + "'")},
      {{src, tooLong}, 1, "", error("destination directory is too long: `" + tooLong + "'")},
      {{tooLong, "-lp"}, 1, "", error("invalid source directory: `" + tooLong + "'")},
      // A yes/no value other than y, Y, 1, n, N, 0 or empty, shown whole, before any run.
      {{src, dash, "--virtual=true"}, 1, "", error("invalid value: `--virtual=true'.")},
      {{"-ct=10", "-X"}, 1, "", error("invalid value: `-ct=10'.")},
      {{"-nd=y=n"}, 1, "", error("invalid value: `-nd=y=n'.")},
      {{"-lo=2"}, 1, "", error("invalid value: `-lo=2'.")},
      {{"-lo=n", "-X=1"}, 1, "", utf16(wide(unknown))}, {{"-X", "-lo=n"}, 1, "", unknown},
      {{"-lo=n", nonAscii}, 1, "", utf16(u"Error: invalid source directory: `missing-d\u00EFr-\u20AC-\U0001F600'" + wide(Console("\n")))},
      // Accepted: exactly the header, and nothing changes.
      {{"", src, "", dash, ""}, 0, Header(src, dash), ""}, {{src, dash, "--log-header=0"}, 0, "", ""},
      {{"-x", "-i=*.txt", src, dash}, 0, Header(src, dash), ""},  // no pattern yet: no clash
      {{src, "-lo=n", dash}, 0, utf16(wide(Header(src, dash))), ""},
      // Overlapping roots, told apart by identity whatever the spelling: refused, nothing written.
      {{".", absolute}, 1, "", error(same + absolute + "'")},
      {{kWindowsBuild ? "BOTH" : "link", "both"}, 1, "", error(same + "both'")},
      {{"out" + sep + "in", "out"}, 1, "", error(inside + "out" + sep + "in'")},
      {{src, dash + sep + ".."}, 1, "", error(inside + src + "'")},
      // The destination inside the source is not part of the source: nothing to do.
      {{"out", "out" + sep + "in"}, 0, Header("out", "out" + sep + "in"), ""}};
  if (!kWindowsBuild)
    cases.insert(cases.end(), {{{raw + "x"}, 1, "", error("invalid source directory: `" + raw + "x'")},
                               {{raw, "src"}, 0, Header(raw, "src"), ""}});
  // clang-format on
  for (const Case& c : cases) {
    RunResult r = RunTandrel(std::get<0>(c), work.path());
    EXPECT_EQ(Case(std::get<0>(c), r.exitCode, r.out, r.err), c);
  }
  EXPECT_EQ(Listing(work.path(), true), before);
}
