// Support for the tests: running the built program, building temporary trees, and the
// expected texts of each build (line ends, separator, console encoding).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace fs = std::filesystem;

struct RunResult {
  int exitCode = -1;
  std::string out;  // standard output, bytes as written
  std::string err;  // standard error, bytes as written, Wine's own diagnostic lines removed
};

// Runs the built program with these arguments (bytes; UTF-8 on Windows) in the working
// directory given (empty: the test's own).
RunResult RunTandrel(const std::vector<std::string>& arguments,
                     const fs::path& workingDirectory = {});

// True when the tests run under Wine rather than Windows or Linux.
bool RunningUnderWine();
// True on the Windows builds.
constexpr bool kWindowsBuild = NAMES_IGNORE_CASE != 0;

// The console text of this build for a text written with single line feeds: carriage returns
// added on Windows. Under log-oem=n, Utf16 gives the UTF-16LE bytes of the expanded text.
std::string Console(const std::string& text);
std::string Utf16(const std::string& utf8Text);
// The program's path separator.
extern const char kSeparator[];
// A log line: the label padded to 12 columns, then the text and the line end.
std::string LogLine(const std::string& label, const std::string& text);
// The header of a run with these two directory arguments.
std::string Header(const std::string& source, const std::string& destination);

// A fresh temporary directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  // The path as the program is given it and prints it (the bytes of the native path).
  std::string str() const { return PathText(path_); }
  static std::string PathText(const fs::path& path);

 private:
  fs::path path_;
};

// Files and their metadata, through the program's own platform layer where it matters.
void WriteTextFile(const fs::path& path, const std::string& contents);
std::string ReadTextFile(const fs::path& path);
uint64_t WriteTime(const fs::path& path);  // 100 ns units since 1601
void SetWriteTime(const fs::path& path, uint64_t time);
DWORD Attributes(const fs::path& path);
void SetAttributes(const fs::path& path, DWORD attributes);
// Clears read-only everywhere below path so that it can be removed.
void MakeRemovable(const fs::path& path);

// One second in file-time units.
constexpr uint64_t kSecond = 10000000ULL;

// A snapshot of a tree: each entry's relative path, kind, contents, write time and attributes
// (the bits the build can store), one line each, in name order.
std::string Snapshot(const fs::path& root, bool withTimes = true, bool withAttributes = true);

// Trees for the end-to-end tests. Relative paths are written with '/' between names.

// A write time for test files: 1 January 2021, 00:00 UTC.
constexpr uint64_t kFileTime = 13253932800ULL * kSecond;

// A file, with its parent directories, contents, write time and (when not 0) attributes.
void MakeFile(const fs::path& path, const std::string& contents, uint64_t time = kFileTime,
              DWORD attributes = 0);
// Entries below root, separated by spaces: "path=contents" for a file written at kFileTime,
// "path/" for a directory.
void MakeFiles(const fs::path& root, const std::string& entries);
// The tree below root in the form MakeFiles takes, in name order.
std::string Listing(const fs::path& root);

// A relative path below root as the program prints it; "." is the root itself.
std::string Under(const std::string& root, const std::string& relative);
// Log lines, one per row "label path" (the label may hold spaces), the path as for Under. A row
// without a label gives the bare path that log-list writes.
std::string LogLines(const std::string& root, const std::vector<std::string>& rows);
// The lines of a text, each with its line end, sorted: for output whose order is not fixed.
std::vector<std::string> SortedLines(const std::string& text);
// Expects one system-error report per message, in order: the message, ": ", the system's text
// on one line. On the POSIX build that text must be nativeText (with its line end).
void ExpectReports(const std::string& err, const std::vector<std::string>& messages,
                   const std::string& nativeText);

// A source directory "src" and a destination directory "dst" in a fresh temporary directory.
struct TreePair {
  TempDir temp;
  fs::path source = temp.path() / "src";
  fs::path destination = temp.path() / "dst";
  TreePair();
  // Log lines for rows whose paths begin with "src" or "dst".
  std::string Log(const std::vector<std::string>& rows) const { return LogLines(temp.str(), rows); }
  // A run on the two directories without the header, with these options.
  RunResult Run(const std::vector<std::string>& options) const;
  // Such a run that exits with 0 and writes exactly these log lines and no error text.
  testing::AssertionResult Writes(const std::vector<std::string>& options,
                                  const std::vector<std::string>& rows) const;
};
