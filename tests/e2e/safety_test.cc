// Where the program keeps data safe: a failed copy leaves the source's archive attribute and
// the old destination file, and links in the destination go as links.
#include <cstdlib>
#include <fstream>

#include "tandrel_test.h"

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
  const std::string locked = TempDir::PathText(d / "locked");
  if (std::system(("chattr +i '" + locked + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "chattr +i is refused or not supported here";
  }
  struct Unlock {
    std::string command;
    ~Unlock() { EXPECT_EQ(std::system(command.c_str()), 0) << command; }
  } unlock{"chattr -i '" + locked + "'"};
  std::ofstream(d / "locked/probe") << "probe";
  if (fs::exists(d / "locked/probe")) {
    GTEST_SKIP() << "chattr +i does not stop a file being created in the directory here";
  }

  RunResult r = t.Run({"-ua"});
  EXPECT_EQ(r.exitCode, r.err.empty() ? 0 : 1);
  EXPECT_EQ(r.out,
            t.Log({"add dst/locked/add.txt", "update dst/locked/upd.txt", "add dst/open/ok.txt"}));
  ExpectReports(r.err,
                {"Unable to copy " + Under(TempDir::PathText(s), "locked/add.txt"),
                 "Unable to copy " + Under(TempDir::PathText(s), "locked/upd.txt")},
                "Operation not permitted\n");
  // Not backed up: both keep the archive attribute; the destination keeps its old file, and
  // no temporary file is left beside it. The copy that worked cleared it.
  EXPECT_TRUE(Attributes(s / "locked/add.txt") & FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(Attributes(s / "locked/upd.txt") & FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_FALSE(Attributes(s / "open/ok.txt") & FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(WriteTime(d / "locked/upd.txt"), kFileTime);
  EXPECT_EQ(Listing(d), "locked/ locked/upd.txt=old open/ open/ok.txt=ok");
}

TEST(Safety, LinksAreRemovedAsLinksWithoutTouchingTheirTargets) {
  TreePair t;
  const fs::path targets = t.temp.path() / "targets", probe = t.temp.path() / "probe";
  MakeFiles(targets, "inner/t.txt=t top/u.txt=u");
  MakeFile(targets / "file.txt", "keep", kFileTime,
           FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  const std::string targetsBefore = Snapshot(targets);
  auto link = [&](const fs::path& target, const fs::path& at) {  // true if made
#ifdef _WIN32  // the C++ library of the MinGW builds makes no symbolic links
    CreateSymbolicLinkW(at.wstring().c_str(), target.wstring().c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY);
#else
    std::error_code error;
    fs::create_directory_symlink(target, at, error);
#endif
    return Attributes(at) != INVALID_FILE_ATTRIBUTES;
  };
  if (!link(targets / "inner", probe) || !RemoveDirectoryW(probe.wstring().c_str())) {
    DWORD code = GetLastError();
    std::error_code error;
    fs::remove(probe, error);
    GTEST_SKIP() << "No directory symbolic link can be made, or RemoveDirectoryW cannot remove "
                    "one, here (error "
                 << code << ")";
  }
  // A link inside a destination-only tree, and a destination-only directory that is a link:
  // neither is entered, so no "directory" line names them. A file link (native: Wine's
  // DeleteFileW deletes the target): clearing its protective attributes before the deletion
  // must not reach through it.
  MakeFiles(t.destination, "D/f.txt=f");
  ASSERT_TRUE(link(targets / "inner", t.destination / "D/link"));
  ASSERT_TRUE(link(targets / "top", t.destination / "L"));
  ASSERT_TRUE(Attributes(t.destination / "L") & FILE_ATTRIBUTE_REPARSE_POINT);
  std::vector<std::string> rows{"directory dst", "delete dir dst/D", "directory dst/D",
                                "delete dir dst/L"};
  if (!kWindowsBuild) {
    fs::create_symlink(targets / "file.txt", t.destination / "link.txt");
    ASSERT_TRUE(Attributes(t.destination / "link.txt") & FILE_ATTRIBUTE_READONLY);
    rows.push_back("delete dst/link.txt");
  }
  EXPECT_TRUE(t.Writes({"-ld"}, rows));
  EXPECT_EQ(Listing(t.destination), "");
  EXPECT_EQ(Snapshot(targets), targetsBefore);
}
