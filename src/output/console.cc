#include "output/console.h"

#include <vector>

#include "output/progress.h"
#include "settings/options.h"

HANDLE OutputHandle = nullptr;
HANDLE ErrorHandle = nullptr;
unsigned long ErrorReportCount = 0;

int ExpandLineEnds(const wchar_t* text, wchar_t* expansion) {
  int n = 0;
  for (; *text != 0; text++) {
    if (CONSOLE_CRLF && *text == L'\n')
      expansion[n++] = L'\r';
    expansion[n++] = *text;
  }
  expansion[n] = 0;
  return n;
}

int EncodeConsoleText(const wchar_t* text, int chars, char* bytes, int capacity) {
  if (OptionSet(kLogOem)) {
    // A bounded conversion into a buffer sized for the code page; the real length is written.
    return chars == 0 ? 0
                      : WideCharToMultiByte(CONSOLE_CODE_PAGE, 0, text, chars, bytes, capacity,
                                            nullptr, nullptr);
  }
  int n = 0;
  for (int i = 0; i < chars; i++) {
    unsigned long code = static_cast<unsigned long>(text[i]);
    unsigned long units[2] = {code, 0};
    int count = 1;
    if (code > 0xFFFF) {  // a 32-bit character becomes a surrogate pair
      code -= 0x10000;
      units[0] = 0xD800 + (code >> 10);
      units[1] = 0xDC00 + (code & 0x3FF);
      count = 2;
    }
    for (int u = 0; u < count && n + 2 <= capacity; u++) {
      bytes[n++] = static_cast<char>(units[u] & 0xFF);
      bytes[n++] = static_cast<char>(units[u] >> 8);
    }
  }
  return n;
}

BOOL EmitText(HANDLE handle, const wchar_t* text, wchar_t* expansion) {
  ClearProgressLine(handle);
  int chars = ExpandLineEnds(text, expansion);
  std::vector<char> bytes(static_cast<size_t>(chars) * 4 + 4);
  int count = EncodeConsoleText(expansion, chars, bytes.data(), static_cast<int>(bytes.size()));
  DWORD written = 0;
  return WriteFile(handle, bytes.data(), static_cast<DWORD>(count), &written, nullptr);
}

void WriteFormatted(HANDLE handle, const wchar_t* format, va_list arguments) {
  wchar_t text[FORMAT_BUFFER_CHARS];
  wchar_t expansion[2 * FORMAT_BUFFER_CHARS];
  wvsprintfW(text, format, arguments);
  EmitText(handle, text, expansion);
}

namespace {
void WriteTo(HANDLE handle, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  WriteFormatted(handle, format, arguments);
  va_end(arguments);
}
}  // namespace

void WriteOutput(const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  WriteFormatted(OutputHandle, format, arguments);
  va_end(arguments);
}

void WriteError(const wchar_t* format, ...) {
  ErrorReportCount++;
  va_list arguments;
  va_start(arguments, format);
  WriteFormatted(ErrorHandle, format, arguments);
  va_end(arguments);
}

void ReportSystemError(const wchar_t* message, const wchar_t* argument) {
  DWORD code = GetLastError();
  WriteError(message, argument);
  wchar_t* systemText = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<LPWSTR>(&systemText), 0, nullptr);
  if (length != 0) {
    WriteTo(ErrorHandle, L": %s", systemText);  // the same report: counted once
    LocalFree(systemText);
  }
}

// One write a line.
void WriteLogLine(const wchar_t* label, const wchar_t* text) {
  if (OptionSet(kLogList))
    WriteOutput(L"%s\n", text);
  else
    WriteOutput(L"%-12s%s\n", label, text);
}
