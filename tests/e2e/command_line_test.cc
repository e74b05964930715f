// The command line: the five error messages and their exit code, the directory arguments and
// their length limit, empty arguments, and the header of an accepted command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tandrel_test.h"

namespace {

std::string Joined(const std::vector<std::string>& arguments) {
  std::string text;
  for (const auto& argument : arguments) text += "[" + argument + "] ";
  return text;
}

// The header of a run, with single line feeds.
std::string HeaderText(const std::string& source, const std::string& destination) {
  return "\nTandreling directory: " + source + "\nto directory: " + destination + "\n";
}

// A rejected command line: exit code 1, nothing on the standard output, exactly these bytes on
// the standard error.
void ExpectRejected(const std::vector<std::string>& arguments, const std::string& errorBytes,
                    const fs::path& workingDirectory = {}) {
  SCOPED_TRACE(Joined(arguments));
  RunResult r = RunTandrel(arguments, workingDirectory);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, errorBytes);
}

// An accepted command line on empty trees: exit code 0, exactly these bytes on the standard
// output, nothing on the standard error.
void ExpectRun(const std::vector<std::string>& arguments, const std::string& outputBytes,
               const fs::path& workingDirectory = {}) {
  SCOPED_TRACE(Joined(arguments));
  RunResult r = RunTandrel(arguments, workingDirectory);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, outputBytes);
  EXPECT_EQ(r.err, "");
}

// Characters in a UTF-8 text (on Linux a byte that is not UTF-8 is one character as well).
size_t Characters(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// A path below base of exactly `length` characters, made of names of "x"s that do not exist.
std::string PaddedPath(const std::string& base, size_t length) {
  std::string path = base;
  while (Characters(path) < length) {
    size_t room = length - Characters(path);
    if (room == 1) {
      path += "x";  // lengthen the last name rather than end with a separator
    } else {
      path += kSeparator;
      path += std::string(std::min<size_t>(room - 1, 100), 'x');
    }
  }
  return path;
}

// The longest path a directory argument may have, plus one (Windows MAX_PATH; Linux PATH_MAX).
constexpr size_t kMaxPath = kWindowsBuild ? 260 : 4096;

}  // namespace

TEST(CommandLine, UnknownOptionsAreQuotedUpToTheirFirstEquals) {
  TempDir source, destination;
  struct Case {
    std::vector<std::string> arguments;
    std::string quoted;
  };
  const std::vector<Case> cases = {
      {{"-X=*.tmp"}, "-X"},  // option names respect case
      {{"-V"}, "-V"},
      {{"--Virtual"}, "--Virtual"},
      {{"--i=foo"}, "--i"},  // a short name in long form
      {{"--v"}, "--v"},
      {{"-include=foo"}, "-include"},  // a long name in short form
      {{"-virtual"}, "-virtual"},
      {{"--lcc=n"}, "--lcc"},
      {{"-time-shift-fat=n"}, "-time-shift-fat"},
      {{"--time-shift-fa"}, "--time-shift-fa"},  // no prefix matching
      {{"--log"}, "--log"},
      {{"-"}, "-"},
      {{"--"}, "--"},
      {{"-=x"}, "-"},
      {{"--=x=y"}, "--"},
      {{"---v"}, "---v"},
      // Directories before the bad option: no header, the run never starts.
      {{source.str(), destination.str(), "-X=*.tmp"}, "-X"},
      // Arguments after the first bad one are not examined.
      {{"-X", "-Q", "no-such-directory"}, "-X"},
      {{"-v", "--compare-contents", "-Z=1", "--bad"}, "-Z"},
  };
  for (const auto& c : cases) {
    ExpectRejected(c.arguments, Console("Error: unknown option: `" + c.quoted + "'.\n"));
  }
}

TEST(CommandLine, IncludeAfterExcludeOrTheReverseQuotesTheLaterOption) {
  TempDir source, destination;
  struct Case {
    std::vector<std::string> arguments;
    std::string quoted;
  };
  const std::vector<Case> cases = {
      {{"-i=*.txt", "-x=*.tmp"}, "-x"},
      {{"--include=*.txt", "--exclude=*.tmp"}, "--exclude"},
      {{"-x=*.tmp", "--include=a=b"}, "--include"},
      {{"--exclude=", "-i=*.txt"}, "-i"},  // an empty pattern is a pattern
      {{"-i=a", "-i=b", "-x"}, "-x"},      // without a value, still a clash
      {{source.str(), destination.str(), "-x=a", "-i=b", "-X", "more"}, "-i"},
  };
  for (const auto& c : cases) {
    ExpectRejected(c.arguments,
                   Console("Error: impossible to use both --exclude and --include options: `" +
                           c.quoted + "'.\n"));
  }
  // A pattern option without a value sets the kind but never clashes.
  std::string header = Console(HeaderText(source.str(), destination.str()));
  ExpectRun({"-x", "-i=*.txt", source.str(), destination.str()}, header);
  ExpectRun({"-i", "-x=*.tmp", source.str(), destination.str()}, header);
  ExpectRun({"-i=*.txt", "--include=*.doc", source.str(), destination.str()}, header);
}

TEST(CommandLine, DirectoryErrorsNameTheRoleAndQuoteTheWholeArgument) {
  TempDir source, destination, other, scratch;
  std::string missing = TempDir::PathText(scratch.path() / "missing");
  fs::path file = scratch.path() / "file.txt";
  WriteTextFile(file, "not a directory");
  std::string fileText = TempDir::PathText(file);

  ExpectRejected({source.str(), destination.str(), "no-such-directory"},
                 Console("Error: too many directories specified: `no-such-directory'\n"));
  ExpectRejected({source.str(), destination.str(), other.str()},
                 Console("Error: too many directories specified: `" + other.str() + "'\n"));
  ExpectRejected({source.str(), "-v", destination.str(), "", source.str(), "-X"},
                 Console("Error: too many directories specified: `" + source.str() + "'\n"));

  ExpectRejected({missing}, Console("Error: invalid source directory: `" + missing + "'\n"));
  ExpectRejected({missing, destination.str()},
                 Console("Error: invalid source directory: `" + missing + "'\n"));
  ExpectRejected({fileText, destination.str()},
                 Console("Error: invalid source directory: `" + fileText + "'\n"));
  ExpectRejected({source.str(), missing},
                 Console("Error: invalid destination directory: `" + missing + "'\n"));
  ExpectRejected({"-v", source.str(), "-ll", fileText, "-X"},
                 Console("Error: invalid destination directory: `" + fileText + "'\n"));
}

TEST(CommandLine, DirectoryArgumentLengthLimit) {
  TempDir source, destination, scratch;
  std::string longest = PaddedPath(scratch.str(), kMaxPath - 1);
  std::string tooLong = PaddedPath(scratch.str(), kMaxPath);
  ASSERT_EQ(Characters(longest), kMaxPath - 1);
  ASSERT_EQ(Characters(tooLong), kMaxPath);

  // The longest accepted length passes the length test and fails only because nothing is there.
  ExpectRejected({longest}, Console("Error: invalid source directory: `" + longest + "'\n"));
  ExpectRejected({source.str(), longest},
                 Console("Error: invalid destination directory: `" + longest + "'\n"));
  ExpectRejected({tooLong}, Console("Error: source directory is too long: `" + tooLong + "'\n"));
  ExpectRejected({source.str(), tooLong},
                 Console("Error: destination directory is too long: `" + tooLong + "'\n"));
  // A third directory is too many before it is too long.
  ExpectRejected({source.str(), destination.str(), tooLong},
                 Console("Error: too many directories specified: `" + tooLong + "'\n"));
}

TEST(CommandLine, ErrorsAreUtf16WhenLogOemIsOffBeforeTheBadArgument) {
  TempDir source;
  ExpectRejected({"-lo=n", "-X=1"}, Utf16(Console("Error: unknown option: `-X'.\n")));
  ExpectRejected({"--log-oem=n", "-i=a", "-x=b"},
                 Utf16(Console("Error: impossible to use both --exclude and --include options: "
                               "`-x'.\n")));
  ExpectRejected({"-lo=0", source.str(), "no-such-directory"},
                 Utf16(Console("Error: invalid destination directory: `no-such-directory'\n")));
  // Characters beyond ASCII, one of them outside the 16-bit range (a surrogate pair).
  ExpectRejected({"-lo=n", "missing-d\xC3\xAFr-\xE2\x82\xAC-\xF0\x9F\x98\x80"},
                 Utf16(Console("Error: invalid source directory: `missing-d\xC3\xAFr-\xE2\x82\xAC-"
                               "\xF0\x9F\x98\x80'\n")));
  // Options after the bad argument are never read; a later -lo=y turns conversion back on.
  ExpectRejected({"-X", "-lo=n"}, Console("Error: unknown option: `-X'.\n"));
  ExpectRejected({"-lo=n", "-lo=y", "-X"}, Console("Error: unknown option: `-X'.\n"));
}

TEST(CommandLine, TwoDirectoriesStartTheRunWithTheHeader) {
  TempDir source, destination;
  std::string header = HeaderText(source.str(), destination.str());
  ExpectRun({source.str(), destination.str()}, Console(header));
  // Empty arguments anywhere are skipped.
  ExpectRun({"", source.str(), "", destination.str(), ""}, Console(header));
  ExpectRun({"-lh=n", source.str(), destination.str()}, "");
  ExpectRun({source.str(), destination.str(), "--log-header=0"}, "");
  ExpectRun({source.str(), "-lo=n", destination.str()}, Utf16(Console(header)));
  EXPECT_EQ(Snapshot(source.path()), "");
  EXPECT_EQ(Snapshot(destination.path()), "");
}

TEST(CommandLine, DirectoriesAppearInTheHeaderAsTyped) {
  TempDir work;
  fs::create_directory(work.path() / "src");
  fs::create_directory(work.path() / "-dash");
  std::string source = std::string("src") + kSeparator;
  std::string destination = std::string(".") + kSeparator + "-dash";
  ExpectRun({source, destination}, Console(HeaderText(source, destination)), work.path());
  std::string up = std::string("..") + kSeparator + "src";
  ExpectRun({up, "."}, Console(HeaderText(up, ".")), work.path() / "-dash");
  // A name that begins with a dash without a path in front is an option.
  ExpectRejected({"src", "-dash"}, Console("Error: unknown option: `-dash'.\n"), work.path());
  // Wildcards in arguments are not expanded.
  ExpectRejected({"src", destination, "*"}, Console("Error: too many directories specified: `*'\n"),
                 work.path());
}

TEST(CommandLine, SameDirectoryTwiceIsAccepted) {
  TempDir both;
  WriteTextFile(both.path() / "a.txt", "contents");
  fs::create_directory(both.path() / "sub");
  WriteTextFile(both.path() / "sub" / "b.txt", "more");
  std::string before = Snapshot(both.path());
  ExpectRun({both.str(), both.str()}, Console(HeaderText(both.str(), both.str())));
  EXPECT_EQ(Snapshot(both.path()), before);
}

TEST(CommandLine, NonAsciiDirectoryNamesInTheHeader) {
  TempDir work;
  // "dïr-€-😀": two-byte, three-byte and four-byte UTF-8 sequences.
  const std::string name = "d\xC3\xAFr-\xE2\x82\xAC-\xF0\x9F\x98\x80";
  fs::path directory = work.path() / fs::path(std::u8string(name.begin(), name.end()));
  std::error_code error;
  fs::create_directory(directory, error);
  ASSERT_FALSE(error) << error.message();
  std::string text = TempDir::PathText(directory);
  ASSERT_EQ(text.substr(text.size() - name.size()), name);
  TempDir destination;
  std::string header = HeaderText(text, destination.str());
  ExpectRun({"-lo=n", text, destination.str()}, Utf16(Console(header)));
  if (!kWindowsBuild) {
    // On Linux the console text is UTF-8.
    ExpectRun({text, destination.str()}, header);
  }
}

TEST(CommandLine, BytesThatAreNotUtf8RoundTripThroughMessagesAndHeader) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows file names and arguments are UTF-16: there are no such bytes";
#else
  TempDir source, destination, work;
  const std::string name = "dir\xff\xfe";
  ExpectRejected({source.str(), destination.str(), name},
                 "Error: too many directories specified: `dir\xff\xfe'\n");
  std::string missing = work.str() + "/" + name;
  ExpectRejected({missing}, "Error: invalid source directory: `" + missing + "'\n");
  ExpectRejected({source.str(), "x\x80y"}, "Error: invalid destination directory: `x\x80y'\n");
  ExpectRejected({"-\xC3", source.str()}, "Error: unknown option: `-\xC3'.\n");

  ASSERT_TRUE(fs::create_directory(fs::path(missing)));
  ExpectRun({missing, destination.str()}, HeaderText(missing, destination.str()));
  ExpectRun({source.str(), missing}, HeaderText(source.str(), missing));
  ExpectRun({name, name}, HeaderText(name, name), work.path());
#endif
}
