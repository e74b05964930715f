// The process, console, text and clock calls of the Windows builds: the system's own.
#include "platform/windows/entry_path.h"

const ErrorCode kErrorNotFound = ERROR_FILE_NOT_FOUND;
const ErrorCode kErrorNameTaken = ERROR_ALREADY_EXISTS;
const ErrorCode kErrorLinkRefused = ERROR_CANT_RESOLVE_FILENAME;
const ErrorCode kErrorNotSupported = ERROR_NOT_SUPPORTED;

ErrorCode LastErrorCode() {
  return GetLastError();
}

void SetErrorCode(ErrorCode code) {
  SetLastError(code);
}

std::wstring ErrorText(ErrorCode code) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring result(text != nullptr ? text : L"", length);
  LocalFree(text);
  return result;
}

namespace {
// The stream's handle as the process has it now.
HANDLE HandleOf(ConsoleStream stream) {
  return stream == kNoStream
             ? nullptr
             : GetStdHandle(stream == kOutputStream ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}
}  // namespace

bool WriteConsoleBytes(ConsoleStream stream, const char* bytes, size_t count) {
  DWORD written = 0;
  return stream == kNoStream ||
         WriteFile(HandleOf(stream), bytes, static_cast<DWORD>(count), &written, nullptr) != 0;
}

bool IsTerminal(ConsoleStream stream) {
  DWORD mode;
  return GetConsoleMode(HandleOf(stream), &mode) != 0;
}

int TerminalColumns(ConsoleStream stream) {
  CONSOLE_SCREEN_BUFFER_INFO screen;
  return GetConsoleScreenBufferInfo(HandleOf(stream), &screen)
             ? screen.srWindow.Right - screen.srWindow.Left + 1
             : 0;
}

std::string ToConsoleCodePage(const wchar_t* text, size_t chars) {
  if (chars == 0)
    return {};
  std::string bytes(chars * 4, '\0');
  int count = WideCharToMultiByte(CP_OEMCP, 0, text, static_cast<int>(chars), bytes.data(),
                                  static_cast<int>(bytes.size()), nullptr, nullptr);
  bytes.resize(static_cast<size_t>(count));
  return bytes;
}

int CompareIgnoringCase(const wchar_t* a, const wchar_t* b) {
  return lstrcmpiW(a, b);
}

bool MatchesPattern(const wchar_t* path, const wchar_t* pattern) {
  return PathMatchSpecW(path, pattern) != 0;
}

// Called for every entry the filter sees: the buffer is on the stack.
bool JoinPathText(const std::wstring& directory, const wchar_t* name, std::wstring* out) {
  wchar_t joined[MAX_PATH];
  if (PathCombineW(joined, directory.c_str(), name) == nullptr)
    return false;
  out->assign(joined);
  return true;
}

int64_t SteadyNanoseconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Whole seconds and the rest apart, so the product cannot overflow.
  int64_t seconds = now.QuadPart / frequency.QuadPart, rest = now.QuadPart % frequency.QuadPart;
  return seconds * 1000000000 + rest * 1000000000 / frequency.QuadPart;
}

uint64_t LocalTimeToUtc(uint64_t localTicks) {
  FILETIME local = {static_cast<DWORD>(localTicks), static_cast<DWORD>(localTicks >> 32)}, utc;
  LocalFileTimeToFileTime(&local, &utc);
  return (uint64_t{utc.dwHighDateTime} << 32) | utc.dwLowDateTime;
}
