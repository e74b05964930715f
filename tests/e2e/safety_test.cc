// Where the program keeps data safe: a failed copy leaves the source's archive attribute and
// the old destination file, and directory links in a tree being deleted go as links.
// (Destination entries whose source counterparts are too long to list: pass_test.cc.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tandrel_test.h"

namespace {

// A directory made immutable (chattr +i) for the life of the object.
class ImmutableDirectory {
 public:
  explicit ImmutableDirectory(const fs::path& path) : path_(TempDir::PathText(path)) {
    set_ = std::system(("chattr +i '" + path_ + "' 2>/dev/null").c_str()) == 0;
  }
  ~ImmutableDirectory() {
    if (set_ && std::system(("chattr -i '" + path_ + "'").c_str()) != 0)
      ADD_FAILURE() << "chattr -i failed on " << path_;
  }
  bool set() const { return set_; }

 private:
  std::string path_;
  bool set_ = false;
};

}  // namespace

TEST(Safety, FailedCopyKeepsTheArchiveAttributeAndTheOldFile) {
  if (kWindowsBuild) {
    GTEST_SKIP() << "The failed copy is provoked with chattr, a Linux tool";
  }
  TreePair t;
  const fs::path &s = t.source, &d = t.destination;
  MakeFiles(s, "locked/add.txt=added open/ok.txt=ok");
  MakeFile(s / "locked/upd.txt", "fresh", kFileTime + 100 * kSecond);
  MakeFiles(d, "locked/upd.txt=old open/");
  for (const char* file : {"locked/add.txt", "locked/upd.txt", "open/ok.txt"}) {
    ASSERT_TRUE(Attributes(s / file) & FILE_ATTRIBUTE_ARCHIVE) << file;
  }
  ImmutableDirectory immutable(d / "locked");
  if (!immutable.set()) {
    GTEST_SKIP() << "chattr +i is refused or not supported here";
  }
  std::ofstream(d / "locked/probe") << "probe";
  if (fs::exists(d / "locked/probe")) {
    GTEST_SKIP() << "chattr +i does not stop a file being created in the directory here";
  }

  RunResult r = t.Run({"-ua"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out,
            t.Log({"add dst/locked/add.txt", "update dst/locked/upd.txt", "add dst/open/ok.txt"}));
  EXPECT_EQ(r.err, "Unable to copy " + Under(TempDir::PathText(s), "locked/add.txt") +
                       ": Operation not permitted\nUnable to copy " +
                       Under(TempDir::PathText(s), "locked/upd.txt") +
                       ": Operation not permitted\n");
  // Not backed up: both keep the archive attribute; the destination keeps its old file, and
  // no temporary file is left beside it.
  EXPECT_TRUE(Attributes(s / "locked/add.txt") & FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(Attributes(s / "locked/upd.txt") & FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(WriteTime(d / "locked/upd.txt"), kFileTime);
  EXPECT_EQ(Listing(d), "locked/ locked/upd.txt=old open/ open/ok.txt=ok");
  // The copy that worked in the same run cleared it.
  EXPECT_FALSE(Attributes(s / "open/ok.txt") & FILE_ATTRIBUTE_ARCHIVE);
}

TEST(Safety, DirectoryLinksAreRemovedAsLinksWithoutTouchingTheirTargets) {
  TreePair t;
  const fs::path targets = t.temp.path() / "targets";
  MakeFiles(targets, "inner/t.txt=t top/u.txt=u");
  // 0, or the error that kept the directory link from being made.
  auto link = [&](const fs::path& target, const fs::path& at) -> long {
#ifdef _WIN32
    // The C++ library of the MinGW builds does not make symbolic links.
    if (!CreateSymbolicLinkW(at.wstring().c_str(), target.wstring().c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY))
      return static_cast<long>(GetLastError());
    return Attributes(at) == INVALID_FILE_ATTRIBUTES ? -1 : 0;
#else
    std::error_code error;
    fs::create_directory_symlink(target, at, error);
    return error.value();
#endif
  };
  const fs::path probe = t.temp.path() / "probe";
  if (long error = link(targets / "inner", probe)) {
    GTEST_SKIP() << "No directory symbolic link can be made here (error " << error
                 << "; -1: the call reported success but no link appeared)";
  }
  const std::string probeText = TempDir::PathText(probe);
  if (!RemoveDirectoryW(std::wstring(probeText.begin(), probeText.end()).c_str())) {
    DWORD code = GetLastError();
    std::error_code error;
    fs::remove(probe, error);
    GTEST_SKIP() << "RemoveDirectoryW does not remove a directory symbolic link here (error "
                 << code << ")";
  }
  ASSERT_EQ(Listing(targets), "inner/ inner/t.txt=t top/ top/u.txt=u");

  // A link inside a destination-only tree, and a destination-only directory that is a link:
  // neither is entered, so no "directory" line names them.
  MakeFiles(t.destination, "D/f.txt=f");
  ASSERT_EQ(link(targets / "inner", t.destination / "D/link"), 0);
  ASSERT_EQ(link(targets / "top", t.destination / "L"), 0);
  ASSERT_TRUE(Attributes(t.destination / "L") & FILE_ATTRIBUTE_REPARSE_POINT);
  EXPECT_TRUE(t.Writes(
      {"-ld"}, {"directory dst", "delete dir dst/D", "directory dst/D", "delete dir dst/L"}));
  EXPECT_EQ(Attributes(t.destination / "L"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Listing(t.destination), "");
  EXPECT_EQ(Listing(targets), "inner/ inner/t.txt=t top/ top/u.txt=u");
}

TEST(Safety, FileLinksAreDeletedWithoutChangingTheirTargets) {
  if (kWindowsBuild) {
    GTEST_SKIP() << "Wine's DeleteFileW on a file symbolic link deletes its target";
  }
  TreePair t;
  const fs::path target = t.temp.path() / "outside.txt";
  MakeFile(target, "keep", kFileTime, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  MakeFiles(t.destination, "");
  fs::create_symlink(target, t.destination / "link.txt");
  ASSERT_TRUE(Attributes(t.destination / "link.txt") & FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(t.Writes({}, {"delete dst/link.txt"}));
  EXPECT_EQ(Listing(t.destination), "");
  // Clearing the protective attributes before the deletion must not reach through the link.
  EXPECT_EQ(ReadTextFile(target), "keep");
  EXPECT_EQ(Attributes(target) & 7, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
}
