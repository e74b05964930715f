// End-to-end tests of the directory pass: the header, the order of the walks and of the
// descent, directory pairs that cannot be listed, and paths that do not fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "tandrel_test.h"

namespace {

const uint64_t kTime = 132223104000000000ULL;  // 2020-01-01 00:00:00 UTC

// The longest path the program accepts: MAX_PATH less the terminator.
const size_t kLongestPath = MAX_PATH - 1;

// A path as the program prints it: the root as given, then each name after a separator.
std::string Joined(const std::string& root, std::initializer_list<std::string> names) {
  std::string path = root;
  for (const auto& name : names) path += kSeparator + name;
  return path;
}

void MakeFile(const fs::path& path, const std::string& contents, uint64_t time = kTime) {
  fs::create_directories(path.parent_path());
  WriteTextFile(path, contents);
  SetWriteTime(path, time);
}

// The lines of a stream whose order the run does not fix (listings report in the order of
// the enumeration), sorted.
std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A system-error report: the program's message, ": ", the system's text and one line end.
void ExpectSystemReport(const std::string& err, const std::string& message,
                        const std::string& nativeText) {
  std::string prefix = message + ": ";
  ASSERT_EQ(err.substr(0, prefix.size()), prefix) << err;
  std::string text = err.substr(prefix.size());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << err;
  ASSERT_GE(text.size(), 2u) << err;
  EXPECT_EQ(text.back(), '\n') << err;
  if (!kWindowsBuild) {
    EXPECT_EQ(text, nativeText);
  }
}

// A source and a destination root in a fresh temporary directory.
struct Roots {
  TempDir temp;
  fs::path source = temp.path() / "src";
  fs::path destination = temp.path() / "dst";
  Roots() {
    fs::create_directory(source);
    fs::create_directory(destination);
  }
  std::string S() const { return TempDir::PathText(source); }
  std::string D() const { return TempDir::PathText(destination); }
};

#ifdef _WIN32
// A path given to the file system as it is written, without the normalisation that removes
// a trailing dot from a name.
std::wstring Verbatim(const fs::path& path) {
  return L"\\\\?\\" + path.wstring();
}

bool ExistsVerbatim(const fs::path& path) {
  return GetFileAttributesW(Verbatim(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A directory whose name ends in a dot: Win32 paths through it lose the dot and name the
// directory without it, so it is listed in its parent but cannot be listed itself.
void MakeDottedDirectory(const fs::path& path) {
  ASSERT_TRUE(CreateDirectoryW(Verbatim(path).c_str(), nullptr)) << path;
}

void MakeDottedFile(const fs::path& path, const std::string& contents) {
  HANDLE file = CreateFileW(Verbatim(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
  CloseHandle(file);
}

// Removes the dotted directory and the files in it, which ordinary paths cannot reach.
struct DottedDirectoryRemover {
  fs::path directory;
  std::vector<std::string> files;
  ~DottedDirectoryRemover() {
    for (const auto& name : files) DeleteFileW(Verbatim(directory / name).c_str());
    RemoveDirectoryW(Verbatim(directory).c_str());
  }
};
#endif

}  // namespace

TEST(Pass, HeaderNamesBothDirectoriesAsGiven) {
  Roots roots;
  RunResult r = RunTandrel({roots.S(), roots.D()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, Header(roots.S(), roots.D()));
  EXPECT_EQ(r.out, Console("\nTandreling directory: " + roots.S() + "\nto directory: " + roots.D() +
                           "\n"));
  EXPECT_EQ(r.err, "");

  // Nothing of it under -lh=n.
  r = RunTandrel({roots.S(), roots.D(), "-lh=n"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");

  // Relative arguments, one with a trailing separator: the header shows them as typed, and the
  // log lines join the destination as typed with the name by a single separator.
  MakeFile(roots.source / "a.txt", "a");
  std::string destination = std::string("dst") + kSeparator;
  r = RunTandrel({"src", destination, "-ld"}, roots.temp.path());
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, Header("src", destination) + LogLine("directory", destination) +
                       LogLine("add", Joined("dst", {"a.txt"})));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadTextFile(roots.destination / "a.txt"), "a");
}

TEST(Pass, DirectoryLinesFollowTheDepthFirstDescentInNameOrder) {
  Roots roots;
  const fs::path& s = roots.source;
  const fs::path& d = roots.destination;
  MakeFile(s / "m.txt", "m");
  MakeFile(s / "a.txt", "a");
  MakeFile(s / "alpha" / "x.txt", "x");
  MakeFile(s / "alpha" / "inner" / "y.txt", "y");
  fs::create_directories(s / "Beta");
  MakeFile(s / "gamma" / "z.txt", "z");
  MakeFile(s / "new" / "n.txt", "n");
  fs::create_directories(d / "alpha" / "inner");
  fs::create_directories(d / "Beta");
  fs::create_directories(d / "gamma");

  const std::string D = roots.D();
  RunResult r = RunTandrel({roots.S(), D, "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  // The root pair first; every file line of a pair before the line of its first
  // sub-directory; sub-directories in name order without regard to letter case.
  EXPECT_EQ(
      r.out,
      LogLine("directory", D) + LogLine("add", Joined(D, {"a.txt"})) +
          LogLine("add", Joined(D, {"m.txt"})) + LogLine("directory", Joined(D, {"alpha"})) +
          LogLine("add", Joined(D, {"alpha", "x.txt"})) +
          LogLine("directory", Joined(D, {"alpha", "inner"})) +
          LogLine("add", Joined(D, {"alpha", "inner", "y.txt"})) +
          LogLine("directory", Joined(D, {"Beta"})) + LogLine("directory", Joined(D, {"gamma"})) +
          LogLine("add", Joined(D, {"gamma", "z.txt"})) + LogLine("directory", Joined(D, {"new"})) +
          LogLine("add", Joined(D, {"new", "n.txt"})));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Snapshot(d), Snapshot(s));

  // A second run finds nothing to do: only the pairs' lines, in the same order.
  r = RunTandrel({roots.S(), D, "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("directory", D) + LogLine("directory", Joined(D, {"alpha"})) +
                       LogLine("directory", Joined(D, {"alpha", "inner"})) +
                       LogLine("directory", Joined(D, {"Beta"})) +
                       LogLine("directory", Joined(D, {"gamma"})) +
                       LogLine("directory", Joined(D, {"new"})));
  EXPECT_EQ(r.err, "");
}

TEST(Pass, DestinationDirectoryThatCannotBeListedIsReportedAndTheRunGoesOn) {
  Roots roots;
  const fs::path& s = roots.source;
  const fs::path& d = roots.destination;
  const std::string S = roots.S(), D = roots.D();
#ifdef _WIN32
  // The destination directory "sub." is listed in its parent, but a path through it names
  // "sub", which the destination lacks. On the source side "sub." leads to "sub", which
  // exists; -na keeps the source-only "sub" from being copied.
  MakeFile(s / "sub" / "in.txt", "in");
  MakeDottedDirectory(s / "sub.");
  DottedDirectoryRemover sourceRemover{s / "sub.", {}};
  MakeDottedDirectory(d / "sub.");
  DottedDirectoryRemover destinationRemover{d / "sub.", {}};
  MakeFile(s / "zz" / "keep.txt", "keep");
  MakeFile(d / "zz" / "old.txt", "old");

  RunResult r = RunTandrel({S, D, "-lh=n", "-ld", "-na", "-li"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("directory", D) + LogLine("ignore", Joined(S, {"sub"})) +
                       LogLine("directory", Joined(D, {"sub."})) +
                       LogLine("directory", Joined(D, {"zz"})) +
                       LogLine("ignore", Joined(S, {"zz", "keep.txt"})) +
                       LogLine("delete", Joined(D, {"zz", "old.txt"})));
  ExpectSystemReport(r.err, "Unable to browse directory " + Joined(D, {"sub."}), "");
  EXPECT_TRUE(ExistsVerbatim(d / "sub."));
  EXPECT_FALSE(fs::exists(d / "sub"));
  EXPECT_FALSE(fs::exists(d / "zz" / "old.txt"));
#else
  // The destination "sub" is a link to the destination-only directory "gone": listed as a
  // directory, it leads nowhere once walk 1 has deleted "gone".
  MakeFile(d / "gone" / "g.txt", "g");
  fs::create_directory_symlink("gone", d / "sub");
  MakeFile(s / "sub" / "in.txt", "in");
  MakeFile(s / "zz" / "new.txt", "new");

  RunResult r = RunTandrel({S, D, "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("directory", D) + LogLine("delete dir", Joined(D, {"gone"})) +
                       LogLine("directory", Joined(D, {"gone"})) +
                       LogLine("directory", Joined(D, {"sub"})) +
                       LogLine("directory", Joined(D, {"zz"})) +
                       LogLine("add", Joined(D, {"zz", "new.txt"})));
  ExpectSystemReport(r.err, "Unable to browse directory " + Joined(D, {"sub"}),
                     "No such file or directory\n");
  EXPECT_FALSE(fs::exists(d / "gone"));
  EXPECT_TRUE(fs::is_symlink(d / "sub"));
  EXPECT_EQ(ReadTextFile(d / "zz" / "new.txt"), "new");
#endif
}

TEST(Pass, SourceDirectoryThatCannotBeListedLeavesItsDestinationAlone) {
  Roots roots;
  const fs::path& s = roots.source;
  const fs::path& d = roots.destination;
  const std::string S = roots.S(), D = roots.D();
  std::string unlisted;
#ifdef _WIN32
  // "sub." leads to "sub", which the source lacks.
  unlisted = "sub.";
  MakeDottedDirectory(s / "sub.");
  DottedDirectoryRemover sourceRemover{s / "sub.", {}};
  MakeDottedDirectory(d / "sub.");
  MakeDottedFile(d / "sub." / "keep.txt", "keep");
  DottedDirectoryRemover destinationRemover{d / "sub.", {"keep.txt"}};
  std::string expectedOut;
#else
  // The source "sub" is a link to the destination-only directory "gone", which walk 1 deletes
  // before walk 3 reaches the pair.
  unlisted = "sub";
  MakeFile(d / "gone" / "g.txt", "g");
  fs::create_directory_symlink(d / "gone", s / "sub");
  MakeFile(d / "sub" / "keep.txt", "keep");
  std::string expectedOut = LogLine("delete dir", Joined(D, {"gone"}));
#endif
  MakeFile(s / "zz" / "new.txt", "new");
  fs::create_directories(d / "zz");

  RunResult r = RunTandrel({S, D, "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  // The pair's "directory" line comes before the listings; nothing of the destination
  // directory is deleted, and the next pair is synchronised.
  if (!kWindowsBuild)
    expectedOut += LogLine("directory", Joined(D, {"gone"}));
  EXPECT_EQ(r.out, LogLine("directory", D) + expectedOut +
                       LogLine("directory", Joined(D, {unlisted})) +
                       LogLine("directory", Joined(D, {"zz"})) +
                       LogLine("add", Joined(D, {"zz", "new.txt"})));
  ExpectSystemReport(r.err, "Unable to browse directory " + Joined(S, {unlisted}),
                     "No such file or directory\n");
#ifdef _WIN32
  EXPECT_TRUE(ExistsVerbatim(d / "sub." / "keep.txt"));
#else
  EXPECT_EQ(ReadTextFile(d / "sub" / "keep.txt"), "keep");
#endif
  EXPECT_EQ(ReadTextFile(d / "zz" / "new.txt"), "new");
}

namespace {

// Two roots side by side, one longer than the other, for paths that fit on one side only.
// On the POSIX build MAX_PATH is 4096 and a name at most 255 bytes, so the roots lie at the
// end of a chain of nested directories that brings them near the limit.
class LongPaths {
 public:
  // How much longer the long root is than the short one.
  static const size_t kExtra = 20;

  LongPaths() {
    fs::path parent = temp_.path();
    size_t wanted = kLongestPath - 230;
    while (TempDir::PathText(parent).size() + 1 < wanted) {
      size_t room = wanted - TempDir::PathText(parent).size() - 1;
      parent /= std::string(std::min<size_t>(room, 200), 'c');
    }
    fs::create_directories(parent);
    parent_ = parent;
    shortRoot_ = parent / "r";
    longRoot_ = parent / ("r" + std::string(kExtra, 'x'));
    fs::create_directory(shortRoot_);
    // A name that fits under the short root with 5 characters to spare.
    nameLength_ = kLongestPath - 5 - TempDir::PathText(shortRoot_).size() - 1;
  }

  // The other root, made under the short name and renamed to the long one by Lengthen().
  const fs::path& ShortRoot() const { return shortRoot_; }
  const fs::path& LongRoot() const { return longRoot_; }
  const fs::path& Parent() const { return parent_; }
  size_t NameLength() const { return nameLength_; }
  fs::path Growing() const { return parent_ / "g"; }
  void Lengthen() {
    fs::rename(Growing(), longRoot_);
    lengthened_ = true;
  }
  // Back to a path short enough for the removal of the temporary directory.
  ~LongPaths() {
    std::error_code error;
    if (lengthened_)
      fs::rename(longRoot_, Growing(), error);
  }

 private:
  TempDir temp_;
  fs::path parent_, shortRoot_, longRoot_;
  size_t nameLength_ = 0;
  bool lengthened_ = false;
};

}  // namespace

TEST(Pass, SourceEntryTooLongIsReportedAndItsDestinationKept) {
  LongPaths paths;
  ASSERT_GE(paths.NameLength(), 30u);
  ASSERT_LE(paths.NameLength(), 255u);
  // The source root ends up 20 characters longer than the destination root: the names below
  // fit under the destination and not under the source.
  const fs::path d = paths.ShortRoot();
  const fs::path s0 = paths.Growing();
  const std::string file(paths.NameLength(), 'n');
  const std::string directory(paths.NameLength() - 4, 'm');
  MakeFile(s0 / "a.txt", "a");
  MakeFile(d / "a.txt", "a");
  MakeFile(s0 / file, "source version");
  MakeFile(d / file, "destination version");
  fs::create_directories(s0 / directory);
  MakeFile(d / directory / "k", "kept");
  MakeFile(s0 / "z.txt", "source z");
  MakeFile(d / "z.txt", "dest z");
  MakeFile(s0 / "zz" / "f.txt", "source f");
  MakeFile(d / "zz" / "f.txt", "dest f");
  paths.Lengthen();
  const std::string S = TempDir::PathText(paths.LongRoot());
  const std::string D = TempDir::PathText(d);
  ASSERT_GT(S.size() + 1 + directory.size(), kLongestPath);
  const std::string expectedErr =
      Console("Error: path too long: " + Joined(S, {directory}) + "\n") +
      Console("Error: path too long: " + Joined(S, {file}) + "\n");

  // The entries too long on the source side are left out there, reported once each by the
  // listing, and their destination counterparts stay; the walk goes on with correct paths.
  RunResult r = RunTandrel({S, D, "-lh=n"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("update", Joined(D, {"z.txt"})) +
                       LogLine("update", Joined(D, {"zz", "f.txt"})));
  EXPECT_EQ(SortedLines(r.err), SortedLines(expectedErr));
  EXPECT_EQ(ReadTextFile(d / file), "destination version");
  EXPECT_EQ(ReadTextFile(d / directory / "k"), "kept");
  EXPECT_EQ(ReadTextFile(d / "z.txt"), "source z");
  EXPECT_EQ(ReadTextFile(d / "zz" / "f.txt"), "source f");

  // Under -li the kept destination entries are reported with their destination paths.
  r = RunTandrel({S, D, "-lh=n", "-li", "-le", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("directory", D) + LogLine("equal", Joined(D, {"a.txt"})) +
                       LogLine("ignore", Joined(D, {file})) +
                       LogLine("equal", Joined(D, {"z.txt"})) +
                       LogLine("ignore", Joined(D, {directory})) +
                       LogLine("directory", Joined(D, {"zz"})) +
                       LogLine("equal", Joined(D, {"zz", "f.txt"})));
  EXPECT_EQ(SortedLines(r.err), SortedLines(expectedErr));
  EXPECT_EQ(ReadTextFile(d / file), "destination version");
  EXPECT_EQ(ReadTextFile(d / directory / "k"), "kept");
}

TEST(Pass, DestinationPathTooLongIsReportedAndTheWalkGoesOn) {
  LongPaths paths;
  ASSERT_GE(paths.NameLength(), 30u);
  ASSERT_LE(paths.NameLength(), 255u);
  // Here the destination root is the longer one.
  const fs::path s = paths.ShortRoot();
  const fs::path d0 = paths.Growing();
  const std::string file(paths.NameLength(), 'n');
  const std::string directory(paths.NameLength() - 4, 'm');
  MakeFile(s / file, "new file");
  MakeFile(s / directory / "k", "new directory");
  MakeFile(s / "z.txt", "source z");
  MakeFile(s / "zz" / "f.txt", "source f");
  MakeFile(d0 / "zz" / "f.txt", "dest f");
  paths.Lengthen();
  const std::string S = TempDir::PathText(s);
  const std::string D = TempDir::PathText(paths.LongRoot());
  const std::string fileError = Console("Error: path too long: " + Joined(D, {file}) + "\n");

  RunResult r = RunTandrel({S, D, "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  // The new file's "add" line cannot be built, nor can its copy's destination path: the same
  // join is reported twice. The new directory cannot be entered; its message names the
  // destination. Later names still get their correct paths.
  EXPECT_EQ(r.out, LogLine("directory", D) + LogLine("add", Joined(D, {"z.txt"})) +
                       LogLine("directory", Joined(D, {"zz"})) +
                       LogLine("update", Joined(D, {"zz", "f.txt"})));
  EXPECT_EQ(r.err, fileError + fileError +
                       Console("Error: path too long: " + Joined(D, {directory}) + "\n"));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(paths.LongRoot())) {
    names.push_back(TempDir::PathText(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"z.txt", "zz"}));
  EXPECT_EQ(ReadTextFile(paths.LongRoot() / "z.txt"), "source z");
  EXPECT_EQ(ReadTextFile(paths.LongRoot() / "zz" / "f.txt"), "source f");
}
