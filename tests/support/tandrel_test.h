// Support for the tests: running the built program, temporary trees, and the expected texts
// of each build (line ends, separator, console encoding).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/file_system.h"

namespace fs = std::filesystem;

struct RunResult {
  int exitCode = -1;
  std::string out, err;  // bytes as written; err without Wine's own diagnostic lines
};
// Runs the built program with these arguments (UTF-8 on Windows) in workingDirectory (empty:
// the test's own). With terminalColumns (POSIX only), both streams go to one pseudo-terminal of
// that width without line-end translation, and out holds what it received. On POSIX the program
// runs through runner when given (a command and its arguments, such as setpriv's).
RunResult RunTandrel(const std::vector<std::string>& arguments,
                     const fs::path& workingDirectory = {}, int terminalColumns = 0,
                     const std::vector<std::string>& runner = {});
bool RunningUnderWine();
// Runs a shell command of the machine's own system (Linux, under Wine too) in directory, with
// the test's environment; false where there is none or the command fails.
bool RunHostCommand(const std::string& command, const fs::path& directory);
constexpr bool kWindowsBuild = kNamesIgnoreCase != 0;
extern const char kSeparator[];  // the program's path separator

// The console text of this build for a text with single line feeds (CR added on Windows).
std::string Console(const std::string& text);
// A log line: the label padded to 12 columns, the text, the line end.
std::string LogLine(const std::string& label, const std::string& text);
std::string Header(const std::string& source, const std::string& destination);
// A relative path ('/' between names; "." for the root itself) below root as printed.
std::string Under(const std::string& root, std::string relative);
// One log line per row "label path" (the label may hold spaces, the path as for Under); a row
// without a label is the bare path that log-list writes.
std::string LogLines(const std::string& root, const std::vector<std::string>& rows);
// Each line with its line end, in order or sorted.
std::vector<std::string> Lines(const std::string& text, bool sorted = false);
// One system-error report per message, in order: "message: " and the system's text, which on
// the POSIX build must be nativeText; exit code 1 after a report, else 0. With a root, each
// message's last word is a relative path below it (as for Under).
void ExpectReports(const RunResult& r, const std::vector<std::string>& messages,
                   const std::string& nativeText, const std::string& root = "");

// A path removed with everything below it, read-only entries too, when the object goes.
struct RemovedAtEnd {
  fs::path path;
  ~RemovedAtEnd();
};

std::string PathText(const fs::path& path);  // the path as the program prints it
fs::path NewTempDirectory();

// A fresh temporary directory, removed with everything in it when the object goes.
struct TempDir {
  RemovedAtEnd removed{NewTempDirectory()};
  const fs::path& path() const { return removed.path; }
  std::string str() const { return PathText(path()); }
};

std::string ReadTextFile(const fs::path& path);
// A symbolic link at `at` with this target text (directory: a directory link on Windows); false
// where none can be made (Wine 8 cannot).
bool MakeLink(const fs::path& target, const fs::path& at, bool directory = false);
uint32_t Attributes(const fs::path& path);  // through the program's platform layer
void SetAttributes(const fs::path& path, uint32_t attributes);
// The attribute bits every build stores and a run compares.
constexpr uint32_t kStored = kAttributeReadOnly | kAttributeHidden | kAttributeSystem;
constexpr uint64_t kSecond = 10000000ULL;
constexpr uint64_t kFileTime = 13253932800ULL * kSecond;  // 1 January 2021, 00:00 UTC

// Sets the write time of a file or directory.
void SetWriteTime(const fs::path& path, uint64_t time);
uint64_t WriteTime(const fs::path& path);  // 100 ns units since 1601
// A file with its parent directories, contents, write time and (when not 0) attributes.
void MakeFile(const fs::path& path, const std::string& contents, uint64_t time = kFileTime,
              uint32_t attributes = 0);
// Entries separated by spaces: "path=contents" for a file at kFileTime, "path/" a directory.
void MakeFiles(const fs::path& root, const std::string& entries);

// An entry, its path relative to the root with the build's separator between names.
struct TreeEntry {
  std::string path;
  bool directory = false;
  std::string contents;
  uint64_t time = 0;
  uint32_t attributes = 0;
  bool operator==(const TreeEntry&) const = default;
};
// Names pair regardless of letter case on Windows, byte for byte on the POSIX build.
inline std::string Key(std::string path) {
  for (char& c : path) c = static_cast<char>(kWindowsBuild && c >= 'A' && c <= 'Z' ? c + 32 : c);
  return path;
}
using Tree = std::map<std::string, TreeEntry>;  // by Key(path): parents before their children
Tree ReadBack(const fs::path& root, uint32_t attributeMask = kStored);
// The tree below root as MakeFiles takes it, in name order; with details, each file's write
// time and every entry's stored attributes too.
std::string Listing(const fs::path& root, bool details = false);

// A source directory "src" and a destination directory "dst" in a fresh temporary directory.
struct TreePair {
  TempDir temp;
  fs::path source = temp.path() / "src", destination = temp.path() / "dst";
  TreePair() { MakeFiles(temp.path(), "src/ dst/"); }
  // Log lines for rows whose paths begin with "src" or "dst".
  std::string Log(const std::vector<std::string>& rows) const { return LogLines(temp.str(), rows); }
  // A run on the two directories with -lh=n and these options.
  RunResult Run(const std::vector<std::string>& options) const;
  // Such a run exits with 0 and writes exactly these log lines and no error text.
  testing::AssertionResult Writes(const std::vector<std::string>& options,
                                  const std::vector<std::string>& rows) const;
  // RunHostCommand in the temporary directory.
  bool Shell(const std::string& command) const { return RunHostCommand(command, temp.path()); }
};
