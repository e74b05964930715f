// The program's interface to its process, console and the system's text rules: errors and their
// texts, the two standard streams, name comparison and patterns, clocks. Implemented in posix/
// and windows/, chosen by the build; the constants below are where the builds differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <string>

#ifdef _WIN32
// Path separator as a wide literal, for messages that join two texts.
#define PATH_SEPARATOR_TEXT L"\\"
#define PATH_SEPARATOR_ASCII "\\"
// The path length of the length checks: the longest path text is one character shorter.
const size_t kShortPathLimit = 260;
// The longest text the system's formatter writes, terminator included.
const size_t kFormatBufferChars = 1024;
// Console texts end lines with carriage return plus line feed.
const bool kConsoleCrlf = true;
// Names pair regardless of letter case, as the file system looks them up.
const bool kNamesIgnoreCase = true;
#ifdef _WIN64
#define BUILD_LINE "x64 Unicode version"
#else
#define BUILD_LINE "Win32 Unicode version (incompatible with Windows 95/98/ME)"
#endif
#else
#define PATH_SEPARATOR_TEXT L"/"
#define PATH_SEPARATOR_ASCII "/"
// Linux's PATH_MAX; every limit derived from the path length moves with it.
const size_t kShortPathLimit = 4096;
// Large enough for a message that names two full paths.
const size_t kFormatBufferChars = 3 * kShortPathLimit;
const bool kConsoleCrlf = false;
// The file system is case-sensitive: names pair only when identical.
const bool kNamesIgnoreCase = false;
#if defined(__x86_64__)
#define BUILD_MACHINE "x86_64"
#elif defined(__i386__)
#define BUILD_MACHINE "i686"
#elif defined(__aarch64__)
#define BUILD_MACHINE "aarch64"
#else
#define BUILD_MACHINE "unknown machine"
#endif
#define BUILD_LINE BUILD_MACHINE " Linux version"
#endif

// The program's entry, called by the build's own entry point with the arguments as wide text.
int RunProgram(int argc, wchar_t** argv);

// A system error: GetLastError's code on Windows, errno natively (with a few codes of the
// platform layer's own above errno's range). Every platform call that fails sets the thread's
// last error.
using ErrorCode = uint32_t;
ErrorCode LastErrorCode();
void SetErrorCode(ErrorCode code);
// The system's text for an error, with its line end; empty when it has none.
std::wstring ErrorText(ErrorCode code);
// The errors the program itself tells apart or sets.
extern const ErrorCode kErrorNotFound;     // no such file
extern const ErrorCode kErrorNameTaken;    // a directory made where the name is taken
extern const ErrorCode kErrorLinkRefused;  // a link the walk will not enter
extern const ErrorCode kErrorNotSupported;

// Where console text goes; kNoStream writes nothing (a run that decides without a log).
enum ConsoleStream { kNoStream, kOutputStream, kErrorStream };
// Writes the bytes whole, in one call where the system allows; false when they could not be.
bool WriteConsoleBytes(ConsoleStream stream, const char* bytes, size_t count);
// True when the stream is a terminal (a console window on Windows).
bool IsTerminal(ConsoleStream stream);
// The terminal's width in columns, 0 when it cannot be told.
int TerminalColumns(ConsoleStream stream);
// Text in the console's code page (OEM on Windows, UTF-8 natively), as log-oem writes it.
std::string ToConsoleCodePage(const wchar_t* text, size_t chars);

// Compares names as the system orders them regardless of letter case: below, equal or above 0.
int CompareIgnoringCase(const wchar_t* a, const wchar_t* b);

// A listed name as the listing keeps it: UTF-16 on Windows; natively the name's own bytes
// (mostly UTF-8), a quarter of the memory of wide text.
#ifdef _WIN32
typedef wchar_t NameChar;
inline int CompareNameCodes(const wchar_t* a, const wchar_t* b) {
  return wcscmp(a, b);
}
#else
typedef char NameChar;
// The order of the names' wide texts: regardless of case, and by character codes.
int CompareIgnoringCase(const char* a, const char* b);
int CompareNameCodes(const char* a, const char* b);
// The name's wide text: UTF-8, each byte that is not part of it as U+DC80 + (byte - 0x80).
std::wstring NameText(const char* name);
#endif

// A listed name as wide text, for paths and the platform's calls: the name itself on Windows,
// its bytes decoded natively. Lives to the end of the full expression that makes it.
class WideName {
 public:
#ifdef _WIN32
  explicit WideName(const wchar_t* name) : text_(name) {}
  operator const wchar_t*() const {
    return text_;
  }

 private:
  const wchar_t* text_;
#else
  explicit WideName(const char* name) : text_(NameText(name)) {}
  operator const wchar_t*() const {
    return text_.c_str();
  }

 private:
  std::wstring text_;
#endif
};
// True when the whole path matches pattern: '*' any run of characters, '?' one, letters
// regardless of case.
bool MatchesPattern(const wchar_t* path, const wchar_t* pattern);
// Joins a directory's text and a name as the system joins them, within kShortPathLimit; false
// when the system refuses.
bool JoinPathText(const std::wstring& directory, const wchar_t* name, std::wstring* out);
// True when path names a directory (following links).
bool IsDirectoryPath(const wchar_t* path);

// A steady clock, in nanoseconds from an arbitrary start.
int64_t SteadyNanoseconds();
// A file time (100 ns units) in the local time zone as UTC, by the zone's current offset.
uint64_t LocalTimeToUtc(uint64_t localTicks);
