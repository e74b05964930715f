// The directory pass: the header, the order of the descent, directory pairs that cannot be
// listed, and paths that do not fit.
#include "tandrel_test.h"

TEST(Pass, DirectoriesThatCannotBeListedAreReportedAndTheRunGoesOn) {
  TreePair t;
  const fs::path &s = t.source, &d = t.destination;
  MakeFiles(s, "a/in.txt=in zz/f.txt=source");
  MakeFile(d / "zz/f.txt", "dest", kFileTime - 60 * kSecond);
  // In pair a only the destination directory cannot be listed; in pair b only the source one,
  // and the destination's file in it stays.
#ifdef _WIN32
  // A name ending in a dot is listed, but Win32 paths through it lose the dot: "a." leads to
  // "a", which only the source has (-na keeps it from being copied), "b." to "b", which
  // neither side has. Made and removed through paths that keep the dot.
  const std::string a = "a.", b = "b.";
  auto verbatim = [](const fs::path& path) { return L"\\\\?\\" + path.wstring(); };
  for (const fs::path& made : {s / a, d / a, s / b, d / b})
    ASSERT_TRUE(CreateDirectoryW(verbatim(made).c_str(), nullptr));
  const std::wstring kept = verbatim(d / b / "keep.txt");
  CloseHandle(CreateFileW(kept.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  std::vector<std::string> rows{"directory dst", "ignore src/a"};
#else
  // Links to the destination-only "gone", which walk 1 deletes before walk 3 reaches them.
  const std::string a = "a", b = "b";
  MakeFiles(d, "gone/g.txt=g b/keep.txt=keep");
  fs::create_directory_symlink("gone", d / a);
  fs::create_directory_symlink(d / "gone", s / b);
  std::vector<std::string> rows{"directory dst", "delete dir dst/gone", "directory dst/gone"};
#endif
  RunResult r = t.Run({"-ld", "-na", "-li"});
  EXPECT_EQ(r.exitCode, r.err.empty() ? 0 : 1);
  rows.insert(rows.end(), {"directory dst/" + a, "directory dst/" + b, "directory dst/zz",
                           "update dst/zz/f.txt"});
  EXPECT_EQ(r.out, t.Log(rows));
  ExpectReports(r.err,
                {"Unable to browse directory " + Under(TempDir::PathText(d), a),
                 "Unable to browse directory " + Under(TempDir::PathText(s), b)},
                "No such file or directory\n");
  EXPECT_EQ(ReadTextFile(d / "zz/f.txt"), "source");
#ifdef _WIN32
  EXPECT_NE(GetFileAttributesW(kept.c_str()), INVALID_FILE_ATTRIBUTES);
  DeleteFileW(kept.c_str());
  for (const fs::path& made : {s / a, d / a, s / b, d / b})
    RemoveDirectoryW(verbatim(made).c_str());
#else
  EXPECT_EQ(Listing(d), "a= b/ b/keep.txt=keep zz/ zz/f.txt=source");
#endif
}

namespace {

// A short root "r" and a tree "g" beside it, renamed by Lengthen() to a name 20 characters
// longer (the test's own file calls could not reach its entries there). A name nameLength long
// fits below the short root with 5 characters to spare, and not below the long one.
struct LongPaths {
  TempDir temp;
  fs::path parent = temp.path(), shortRoot, longRoot, growing;
  size_t nameLength;
  LongPaths() {
    const size_t wanted = MAX_PATH - 1 - 230;
    for (size_t n; (n = TempDir::PathText(parent).size() + 1) < wanted;)
      parent /= std::string(std::min<size_t>(wanted - n, 200), 'c');
    fs::create_directories(shortRoot = parent / "r");
    longRoot = parent / std::string("r").append(20, 'x');
    growing = parent / "g";
    nameLength = MAX_PATH - 1 - 5 - TempDir::PathText(shortRoot).size() - 1;
  }
  std::string Lengthen() {
    fs::rename(growing, longRoot);
    return TempDir::PathText(longRoot);
  }
  ~LongPaths() {
    std::error_code error;
    fs::rename(longRoot, growing, error);
  }
};

}  // namespace

TEST(Pass, SourceEntryTooLongIsReportedAndItsDestinationKept) {
  LongPaths paths;
  ASSERT_GE(paths.nameLength, 30u);
  ASSERT_LE(paths.nameLength, 255u);
  const fs::path &d = paths.shortRoot, &s = paths.growing;
  const std::string file(paths.nameLength, 'n'), dir(paths.nameLength - 4, 'm'),
      fileFacingDir(paths.nameLength - 2, 'o');
  MakeFiles(s, file + "=source " + dir + "/k=source " + fileFacingDir + "=source z.txt=zz");
  MakeFiles(d, file + "=destination " + dir + "/k=kept " + fileFacingDir + "/k=kept z.txt=z");
  MakeFiles(s, "zz/f.txt=ff");
  MakeFiles(d, "zz/f.txt=f");
  const std::string S = paths.Lengthen(), D = TempDir::PathText(d);

  // Left out of the source listing with one report each, their destination counterparts are
  // kept and reported as ignored; the walk goes on with correct paths.
  RunResult r = RunTandrel({S, D, "-lh=n", "-li", "-ld"});
  EXPECT_EQ(r.exitCode, r.err.empty() ? 0 : 1);
  EXPECT_EQ(r.out, LogLines(D, {"directory .", "ignore " + file, "update z.txt", "ignore " + dir,
                                "ignore " + fileFacingDir, "directory zz", "update zz/f.txt"}));
  std::string err;
  for (const auto& name : {dir, file, fileFacingDir})
    err += Console("Error: path too long: " + Under(S, name) + "\n");
  EXPECT_EQ(SortedLines(r.err), SortedLines(err));
  EXPECT_EQ(Listing(d), dir + "/ " + dir + "/k=kept " + file + "=destination " + fileFacingDir +
                            "/ " + fileFacingDir + "/k=kept z.txt=zz zz/ zz/f.txt=ff");
}

TEST(Pass, DestinationPathsUpToTheLimitAreWrittenLongerOnesReported) {
  LongPaths paths;
  const fs::path &s = paths.shortRoot, &d = paths.growing;
  // Below the long root: a name nameLength long does not fit; one 20 shorter fits exactly, and
  // the temporary file of its copy never needs a longer path.
  const std::string file(paths.nameLength, 'n'), dir(paths.nameLength - 4, 'm'),
      added(paths.nameLength - 15, 'a'), updated(paths.nameLength - 15, 'u');
  MakeFiles(s, file + "=new " + dir + "/k=new " + added + "=new " + updated + "=newer z.txt=z");
  MakeFiles(s, "zz/f.txt=ff");
  MakeFiles(d, updated + "=old zz/f.txt=f");
  const std::string S = TempDir::PathText(s), D = paths.Lengthen();
  ASSERT_EQ(Under(D, added).size(), MAX_PATH - 1u);
  RunResult r = RunTandrel({S, D, "-lh=n", "-ld"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, LogLines(D, {"directory .", "add " + added, "update " + updated, "add z.txt",
                                "directory zz", "update zz/f.txt"}));
  // The new file's log line and its copy both fail to join the path; the new directory
  // cannot be made.
  const std::string fileError = Console("Error: path too long: " + Under(D, file) + "\n");
  EXPECT_EQ(r.err,
            fileError + fileError + Console("Error: path too long: " + Under(D, dir) + "\n"));
  EXPECT_EQ(Listing(paths.longRoot), added + "=new " + updated + "=newer z.txt=z zz/ zz/f.txt=ff");
}
