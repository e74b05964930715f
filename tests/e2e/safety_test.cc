// Where the program keeps data safe: the archive attribute survives a failed copy, directory
// links in a tree being deleted go as links, and destination entries whose source
// counterparts are too long to list are kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tandrel_test.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const uint64_t kBaseTime = 13253932800ULL * kSecond;  // 1 January 2021, 00:00 UTC

std::string Below(const std::string& root, const std::string& relative) {
  std::string text = root + kSeparator;
  for (char c : relative) text += c == '/' ? kSeparator[0] : c;
  return text;
}

void MakeFile(const fs::path& root, const std::string& relative, const std::string& contents,
              uint64_t time = kBaseTime) {
  fs::path path = root / relative;
  fs::create_directories(path.parent_path());
  WriteTextFile(path, contents);
  SetWriteTime(path, time);
}

[[maybe_unused]] std::vector<std::string> SortedLines(const std::string& text) {
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

std::wstring WideText(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

// The text of a relative path as Snapshot() writes it ('/' stands for the separator).
std::string Relative(const std::string& text) {
  std::string native = text;
  for (char& c : native) {
    if (c == '/')
      c = kSeparator[0];
  }
  return native;
}

// Makes a directory symbolic link; false, with the reason, when that cannot be done here.
bool MakeDirectoryLink(const fs::path& target, const fs::path& link, std::string& reason) {
#ifdef _WIN32
  // The C++ library of the MinGW builds does not make symbolic links: ask the system.
  if (!CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(),
                           SYMBOLIC_LINK_FLAG_DIRECTORY)) {
    reason = "CreateSymbolicLinkW failed with error " + std::to_string(GetLastError());
    return false;
  }
  if (GetFileAttributesW(link.wstring().c_str()) == INVALID_FILE_ATTRIBUTES) {
    reason = "CreateSymbolicLinkW reported success but no link appeared";
    return false;
  }
  return true;
#else
  std::error_code error;
  fs::create_directory_symlink(target, link, error);
  reason = error.message();
  return !error;
#endif
}

// A directory made immutable (chattr +i) for the life of the object, so that nothing can be
// created in it.
class ImmutableDirectory {
 public:
  explicit ImmutableDirectory(const fs::path& path) : path_(TempDir::PathText(path)) {
    set_ = std::system(("chattr +i '" + path_ + "' 2>/dev/null").c_str()) == 0;
  }
  ~ImmutableDirectory() {
    if (set_ && std::system(("chattr -i '" + path_ + "'").c_str()) != 0)
      set_ = false;
  }
  ImmutableDirectory(const ImmutableDirectory&) = delete;
  ImmutableDirectory& operator=(const ImmutableDirectory&) = delete;
  bool set() const { return set_; }

 private:
  std::string path_;
  bool set_ = false;
};

}  // namespace

TEST(ArchiveAttribute, StaysSetWhenTheCopyFails) {
  if (RunningUnderWine()) {
    GTEST_SKIP() << "Under Wine every file reports the archive attribute and clearing it does "
                    "not stick";
  }
  if (kWindowsBuild)
    GTEST_SKIP() << "The failed copy is provoked with chattr, a Linux tool";
  TempDir source, destination;
  MakeFile(source.path(), "locked/add.txt", "added");
  MakeFile(source.path(), "locked/upd.txt", "new contents", kBaseTime + 100 * kSecond);
  MakeFile(destination.path(), "locked/upd.txt", "old");
  MakeFile(source.path(), "open/ok.txt", "ok");
  fs::create_directories(destination.path() / "open");
  const char* kSourceFiles[] = {"locked/add.txt", "locked/upd.txt", "open/ok.txt"};
  for (const char* file : kSourceFiles) {
    ASSERT_TRUE(Attributes(source.path() / file) & FILE_ATTRIBUTE_ARCHIVE) << file;
  }
  fs::path locked = destination.path() / "locked";
  ImmutableDirectory immutable(locked);
  if (!immutable.set())
    GTEST_SKIP() << "chattr +i is refused or not supported here";
  std::ofstream(locked / "probe") << "probe";
  if (fs::exists(locked / "probe")) {
    GTEST_SKIP() << "chattr +i does not stop a file being created in the directory here";
  }

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n", "-ua"});
  EXPECT_EQ(r.exitCode, 0);
  std::string root = destination.str();
  EXPECT_EQ(r.out, LogLine("add", Below(root, "locked/add.txt")) +
                       LogLine("update", Below(root, "locked/upd.txt")) +
                       LogLine("add", Below(root, "open/ok.txt")));
  EXPECT_EQ(r.err, "Unable to copy " + Below(source.str(), "locked/add.txt") +
                       ": Operation not permitted\n" + "Unable to copy " +
                       Below(source.str(), "locked/upd.txt") + ": Operation not permitted\n");
  // Not backed up: both keep the archive attribute; the destination keeps its old file.
  EXPECT_TRUE(Attributes(source.path() / "locked/add.txt") & FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(Attributes(source.path() / "locked/upd.txt") & FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(ReadTextFile(locked / "upd.txt"), "old");
  EXPECT_EQ(WriteTime(locked / "upd.txt"), kBaseTime);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(locked)) {
    names.push_back(TempDir::PathText(entry.path().filename()));
  }
  EXPECT_EQ(names, std::vector<std::string>{"upd.txt"});
  // The copy that worked in the same run cleared it.
  EXPECT_FALSE(Attributes(source.path() / "open/ok.txt") & FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(ReadTextFile(destination.path() / "open/ok.txt"), "ok");
}

TEST(DirectoryLinks, AreRemovedAsLinksWithoutTouchingTheirTargets) {
  TempDir source, destination, targets;
  MakeFile(targets.path(), "inner/t.txt", "t");
  MakeFile(targets.path(), "top/u.txt", "u");
  std::string reason;
  fs::path probe = targets.path() / "probe";
  if (!MakeDirectoryLink(targets.path() / "inner", probe, reason)) {
    GTEST_SKIP() << "No directory symbolic link can be made here: " << reason;
  }
  std::wstring probeText = WideText(TempDir::PathText(probe));
  DWORD probeAttributes = GetFileAttributesW(probeText.c_str());
  if (!RemoveDirectoryW(probeText.c_str())) {
    DWORD code = GetLastError();
    std::error_code error;
    fs::remove(probe, error);
    GTEST_SKIP() << "RemoveDirectoryW does not remove a directory symbolic link here (error "
                 << code << ", link attributes " << probeAttributes << ")";
  }
  ASSERT_FALSE(fs::exists(probe));
  ASSERT_TRUE(fs::exists(targets.path() / "inner/t.txt"));

  // A link inside a destination-only tree, and a destination-only directory that is a link.
  MakeFile(destination.path(), "D/f.txt", "f");
  ASSERT_TRUE(MakeDirectoryLink(targets.path() / "inner", destination.path() / "D/link", reason))
      << reason;
  ASSERT_TRUE(MakeDirectoryLink(targets.path() / "top", destination.path() / "L", reason))
      << reason;
  ASSERT_TRUE(Attributes(destination.path() / "D/link") & FILE_ATTRIBUTE_REPARSE_POINT);
  ASSERT_TRUE(Attributes(destination.path() / "L") & FILE_ATTRIBUTE_REPARSE_POINT);

  RunResult r = RunTandrel({source.str(), destination.str(), "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 0);
  // Neither link is entered: no "directory" line names D/link or L.
  std::string root = destination.str();
  EXPECT_EQ(r.out, LogLine("directory", root) + LogLine("delete dir", Below(root, "D")) +
                       LogLine("directory", Below(root, "D")) +
                       LogLine("delete dir", Below(root, "L")));
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Attributes(destination.path() / "D"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Attributes(destination.path() / "L"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Snapshot(targets.path(), false, false),
            Relative("inner dir\ninner/t.txt file t\ntop dir\ntop/u.txt file u\n"));
}

TEST(TooLongSourceEntries, KeepTheirDestinationCounterparts) {
#ifdef _WIN32
  GTEST_SKIP() << "Shown on the native build, whose deep source tree is made with POSIX calls";
#else
  TempDir base;
  // A source root so deep that its entries' full paths pass the limit of 4095 characters,
  // while the root itself and the destination's paths fit.
  fs::path sourceRoot = base.path() / "s";
  const std::string level(200, 'd');
  while (4095 - static_cast<long>(TempDir::PathText(sourceRoot / level).size()) >= 10) {
    sourceRoot /= level;
  }
  fs::create_directories(sourceRoot);
  std::string rootText = TempDir::PathText(sourceRoot);
  size_t length = 4095 - rootText.size();  // root, separator and name: 4096 characters
  ASSERT_GE(length, 10u);
  ASSERT_LE(length, 255u);
  const std::string names[] = {"k1" + std::string(length - 2, 'x'),
                               "k2" + std::string(length - 2, 'x'),
                               "k3" + std::string(length - 2, 'x')};
  // The source has k1 and k3 as files and k2 as a directory, made relative to the root.
  struct LongEntries {
    int root;
    const std::string* names;
    ~LongEntries() {
      unlinkat(root, names[0].c_str(), 0);
      unlinkat(root, names[1].c_str(), AT_REMOVEDIR);
      unlinkat(root, names[2].c_str(), 0);
      close(root);
    }
  } entries{open(rootText.c_str(), O_RDONLY | O_DIRECTORY), names};
  ASSERT_GE(entries.root, 0);
  for (int i : {0, 2}) {
    int fd = openat(entries.root, names[i].c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "src", 3), 3);
    close(fd);
  }
  ASSERT_EQ(mkdirat(entries.root, names[1].c_str(), 0755), 0);

  // The destination has k1 as a file, k2 as a directory, k3 as a directory (the source's
  // k3 is a file), and a file that the source really lacks.
  fs::path destinationRoot = base.path() / "d";
  MakeFile(destinationRoot, "extra.txt", "extra");
  MakeFile(destinationRoot, names[0], "dst");
  MakeFile(destinationRoot, names[1] + "/inner.txt", "inner");
  MakeFile(destinationRoot, names[2] + "/inner.txt", "inner");
  std::string destinationText = TempDir::PathText(destinationRoot);

  RunResult r = RunTandrel({rootText, destinationText, "-lh=n", "-li"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, LogLine("delete", Below(destinationText, "extra.txt")) +
                       LogLine("ignore", Below(destinationText, names[0])) +
                       LogLine("ignore", Below(destinationText, names[1])) +
                       LogLine("ignore", Below(destinationText, names[2])));
  EXPECT_EQ(SortedLines(r.err),
            SortedLines("Error: path too long: " + Below(rootText, names[0]) + "\n" +
                        "Error: path too long: " + Below(rootText, names[1]) + "\n" +
                        "Error: path too long: " + Below(rootText, names[2]) + "\n"));
  EXPECT_EQ(Snapshot(destinationRoot, false, false),
            names[0] + " file dst\n" + names[1] + " dir\n" + names[1] + "/inner.txt file inner\n" +
                names[2] + " dir\n" + names[2] + "/inner.txt file inner\n");
#endif
}
