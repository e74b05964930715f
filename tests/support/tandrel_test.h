// Support for the tests: running the built program, building temporary trees, and the
// expected texts of each build (line ends, separator, console encoding).
#pragma once

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
