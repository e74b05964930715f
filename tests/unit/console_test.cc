// The console writer: line ends, the console encodings, the formatting buffer's limit, log
// lines and system-error reports, as the bytes that reach the streams.
#include <gtest/gtest.h>

#include "capture.h"
#include "cli/options.h"
#include "output/console.h"
#include "program_state.h"
#include "sync/paths.h"

using ConsoleTest = ProgramStateTest;

TEST_F(ConsoleTest, LineEndsExpandOnWindowsOnlyThenTheTextIsEncoded) {
  CapturedConsole console;
  // Without log-oem the text is UTF-16LE without a byte-order mark; a character beyond U+FFFF
  // is a surrogate pair (a 32-bit wchar_t is split into one). Each stream gets its own text.
  OptionTable[kLogOem].Value = 0;
  WriteError(L"Error: %s\n", L"e");
  WriteOutput(L"%s\n", L"A\u00e9\u4e2d\U0001F600");
  OptionTable[kLogOem].Value = 1;
  WriteOutput(L"\nab\ncd\r\n\n");  // a carriage return already there gets another
  if (!kWindowsBuild)  // native log-oem text is UTF-8; U+DCE9 stands for the lone byte 0xE9
    WriteOutput(L"%s\n", L"caf\u00e9-\U0001F600-\xDCE9");
  EXPECT_EQ(console.out(), Utf16(Console("A\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80\n")) +
                               Console("\nab\ncd\r\n\n") +
                               (kWindowsBuild ? "" : "caf\xc3\xa9-\xf0\x9f\x98\x80-\xe9\n"));
  EXPECT_EQ(console.err(), Utf16(Console("Error: e\n")));
}

TEST_F(ConsoleTest, MessagesAreCutOneBelowTheFormattingBufferAndLogLinesPadded) {
  const size_t keep = FORMAT_BUFFER_CHARS - 1;
  CapturedConsole console;
  WriteOutput(L"%s\n", std::wstring(keep - 1, L'a').c_str());           // exactly what fits
  WriteOutput(L"%-12s%s\n", L"add", std::wstring(keep, L'b').c_str());  // loses its line end
  // A log line's label is padded to 12 columns, and left out under log-list.
  WriteLogLine(L"add", L"dst");
  WriteLogLine(L"delete dir", L"d2");
  OptionTable[kLogList].Value = 1;
  WriteLogLine(L"update", L"some path");
  EXPECT_EQ(console.out(), Console(std::string(keep - 1, 'a') + "\n") + "add         " +
                               std::string(keep - 12, 'b') +
                               Console("add         dst\ndelete dir  d2\nsome path\n"));
  EXPECT_EQ(console.err(), "");
}

TEST_F(ConsoleTest, SystemErrorReportIsMessageColonSystemText) {
  CapturedConsole console;
  SetLastError(ERROR_NO_MORE_FILES);
  ReportSystemError(L"Unable to delete %s", L"dst" PATH_SEPARATOR_TEXT L"f");
  std::string prefix = std::string("Unable to delete dst") + kSeparator + "f: ";
  std::string err = console.err(), text = err.substr(std::min(prefix.size(), err.size()));
  EXPECT_EQ(err.substr(0, prefix.size()), prefix);
  if (kWindowsBuild) {  // the system's own text, whose CR LF the writer turns into CR CR LF
    EXPECT_TRUE(text.size() > 3 && text.find('\n') == text.size() - 1 &&
                text.find("\r\r\n") == text.size() - 3)
        << text;
  } else {
    EXPECT_EQ(text, "There are no more files.\n");
  }
  // Without a system text for the code the message stays without a line end.
  SetLastError(0x2000FFFF);  // application-defined
  ReportSystemError(L"Unable to rename %s", L"old");
  EXPECT_EQ(console.err(), err + "Unable to rename old");
  EXPECT_EQ(console.out(), "");
}
