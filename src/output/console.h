// The console writer: every text the program writes goes through here, log lines and the
// header to the standard output, errors to the standard error.
#pragma once

#include <cstdarg>
#include <string>
#include <vector>

#include "platform/system.h"

// Where the log and the reports go: kNoStream while a run decides without writing.
extern ConsoleStream OutputStream;
extern ConsoleStream ErrorStream;
// How many error messages and reports were written on the standard error: a run that wrote
// any ends with exit code 1.
extern unsigned long ErrorReportCount;

// Copies text into expansion, writing a carriage return before every line feed on builds whose
// console ends lines that way; returns the length of the copy.
int ExpandLineEnds(const wchar_t* text, wchar_t* expansion);
// The bytes of a console text: under log-oem the console code page (OEM on Windows, UTF-8
// elsewhere), else UTF-16LE without a byte-order mark. Returns the count written to bytes, which
// holds at least 4 bytes per character.
int EncodeConsoleText(const wchar_t* text, int chars, char* bytes, int capacity);
// Expands, converts and writes a finished text with one write. The expansion buffer holds
// twice the text's length plus one.
bool EmitText(ConsoleStream stream, const wchar_t* text, wchar_t* expansion);
// The text of a format with its arguments: %s, %-Ns (left-aligned in a field of N), %lu (an
// unsigned 32-bit value), %% and literal text, as the system's formatter writes them; at most
// limit characters.
std::wstring FormatText(const wchar_t* format, va_list arguments, size_t limit);
void WriteOutput(const wchar_t* format, ...);
void WriteError(const wchar_t* format, ...);
// The message with its one argument, then ": " and the system's text for the last error.
void ReportSystemError(const wchar_t* message, const wchar_t* argument);
// Texts written by a worker's task, held in order for the walking thread to write: a worker never
// writes, so each stream keeps the order one thread gives it.
struct HeldText {
  ConsoleStream Stream;
  bool Report;  // counted as a report when written
  std::wstring Text;
};
// From now on the calling thread's texts go to held (null: to the streams); returns where they
// went before.
std::vector<HeldText>* HoldTextsIn(std::vector<HeldText>* held);
// While it lives, the calling thread's texts go to held instead of where they went before.
class HoldTexts {
 public:
  explicit HoldTexts(std::vector<HeldText>& held) : outer_(HoldTextsIn(&held)) {}
  ~HoldTexts() { HoldTextsIn(outer_); }
  HoldTexts(const HoldTexts&) = delete;
  HoldTexts& operator=(const HoldTexts&) = delete;

 private:
  std::vector<HeldText>* outer_;
};
// Writes held texts in their order, counting the reports among them (held again where the calling
// thread's texts are held).
void WriteHeldTexts(const std::vector<HeldText>& held);
// A label padded to 12 columns (left out under log-list), then the text and a line end.
void WriteLogLine(const wchar_t* label, const wchar_t* text);
