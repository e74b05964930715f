#include "output/console.h"

#include <string>
#include <vector>

#include "output/progress.h"
#include "settings/options.h"

ConsoleStream OutputStream = kOutputStream;
ConsoleStream ErrorStream = kErrorStream;
unsigned long ErrorReportCount = 0;

int ExpandLineEnds(const wchar_t* text, wchar_t* expansion) {
  int n = 0;
  for (; *text != 0; text++) {
    if (kConsoleCrlf && *text == L'\n')
      expansion[n++] = L'\r';
    expansion[n++] = *text;
  }
  expansion[n] = 0;
  return n;
}

int EncodeConsoleText(const wchar_t* text, int chars, char* bytes, int capacity) {
  if (OptionSet(kLogOem)) {
    // A bounded copy into a buffer sized for the code page; the real length is written.
    std::string converted = ToConsoleCodePage(text, static_cast<size_t>(chars));
    size_t n = converted.size() < static_cast<size_t>(capacity) ? converted.size()
                                                                : static_cast<size_t>(capacity);
    converted.copy(bytes, n);
    return static_cast<int>(n);
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

bool EmitText(ConsoleStream stream, const wchar_t* text, wchar_t* expansion) {
  if (stream == kNoStream)
    return true;
  ClearProgressLine(stream);
  int chars = ExpandLineEnds(text, expansion);
  std::vector<char> bytes(static_cast<size_t>(chars) * 4 + 4);
  int count = EncodeConsoleText(expansion, chars, bytes.data(), static_cast<int>(bytes.size()));
  return WriteConsoleBytes(stream, bytes.data(), static_cast<size_t>(count));
}

std::wstring FormatText(const wchar_t* format, va_list arguments, size_t limit) {
  std::wstring text;
  auto put = [&](wchar_t c, int count = 1) {
    for (; count > 0 && text.size() < limit; count--) text += c;
  };
  for (const wchar_t* f = format; *f != 0; f++) {
    if (*f != L'%' || *++f == L'%') {
      put(*f);
      continue;
    }
    bool left = *f == L'-';
    f += left ? 1 : 0;
    int width = 0;
    for (; *f >= L'0' && *f <= L'9'; f++) width = width * 10 + (*f - L'0');
    bool isLong = *f == L'l';
    f += isLong ? 1 : 0;
    std::wstring field;
    if (*f == L's') {
      const wchar_t* argument = va_arg(arguments, const wchar_t*);
      field = argument != nullptr ? argument : L"(null)";
    } else if (*f == L'u' && isLong) {
      field = std::to_wstring(va_arg(arguments, unsigned int));
    } else if (*f == 0) {
      break;
    } else {
      put(*f);  // an unknown conversion is written as its letter
      continue;
    }
    int padding = width - static_cast<int>(field.size());
    if (!left)
      put(L' ', padding);
    for (wchar_t c : field) put(c);
    if (left)
      put(L' ', padding);
  }
  return text;
}

namespace {

thread_local std::vector<HeldText>* holding = nullptr;

void WriteText(ConsoleStream stream, bool report, const std::wstring& text) {
  if (holding != nullptr) {
    holding->push_back({stream, report, text});
    return;
  }
  if (report)
    ErrorReportCount++;
  std::vector<wchar_t> expansion(2 * text.size() + 1);
  EmitText(stream, text.c_str(), expansion.data());
}

void WriteFormatted(ConsoleStream stream, bool report, const wchar_t* format, va_list arguments) {
  // Texts as long as the paths they name under long-paths; else as the system formats them, at
  // most the formatting buffer's length.
  size_t limit = OptionSet(kLongPaths) ? static_cast<size_t>(-1) : kFormatBufferChars - 1;
  WriteText(stream, report, FormatText(format, arguments, limit));
}

void WriteTo(ConsoleStream stream, const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  WriteFormatted(stream, false, format, arguments);
  va_end(arguments);
}

}  // namespace

std::vector<HeldText>* HoldTextsIn(std::vector<HeldText>* held) {
  std::vector<HeldText>* outer = holding;
  holding = held;
  return outer;
}

void WriteHeldTexts(const std::vector<HeldText>& held) {
  for (const HeldText& text : held) WriteText(text.Stream, text.Report, text.Text);
}

void WriteOutput(const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  WriteFormatted(OutputStream, false, format, arguments);
  va_end(arguments);
}

void WriteError(const wchar_t* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  WriteFormatted(ErrorStream, true, format, arguments);
  va_end(arguments);
}

void ReportSystemError(const wchar_t* message, const wchar_t* argument) {
  ErrorCode code = LastErrorCode();
  WriteError(message, argument);
  std::wstring systemText = ErrorText(code);
  if (!systemText.empty())
    WriteTo(ErrorStream, L": %s", systemText.c_str());  // the same report: counted once
}

// One write a line.
void WriteLogLine(const wchar_t* label, const wchar_t* text) {
  if (OptionSet(kLogList))
    WriteOutput(L"%s\n", text);
  else
    WriteOutput(L"%-12s%s\n", label, text);
}
