// The console writer: line ends, the console encodings, the formatting buffer's limit, log
// lines and system-error reports, as the bytes that reach the streams.
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "cli/options.h"
#include "output/console.h"
#include "program_state.h"
#include "sync/paths.h"

using ConsoleTest = ProgramStateTest;

TEST_F(ConsoleTest, LineEndsExpandOnWindowsOnlyThenTheTextIsEncoded) {
  wchar_t expansion[32];
  int length = ExpandLineEnds(L"\nab\ncd\r\n\n", expansion);
  std::wstring expected = kWindowsBuild ? L"\r\nab\r\ncd\r\r\n\r\n" : L"\nab\ncd\r\n\n";
  EXPECT_EQ(std::wstring(expansion), expected);
  EXPECT_EQ(length, static_cast<int>(expected.size()));
  // Without log-oem the text is UTF-16LE without a byte-order mark.
  OptionTable[kLogOem].Value = 0;
  // A character beyond U+FFFF is a surrogate pair (a 32-bit wchar_t is split into one).
  std::wstring text = L"A\u00e9\u4e2d\U0001F600\n";
  char bytes[64];
  int count = EncodeConsoleText(text.c_str(), static_cast<int>(text.size()), bytes, 64);
  EXPECT_EQ(std::string(bytes, count > 0 ? count : 0),
            std::string("A\0\xe9\0\x2d\x4e\x3d\xd8\x00\xde\n\0", 12));
  // Through the writer: each stream gets its own text, expanded and then encoded.
  CapturedConsole console;
  WriteError(L"Error: %s\n", L"e");
  WriteOutput(L"%s\n", L"caf\u00e9");
  OptionTable[kLogOem].Value = 1;
  WriteOutput(L"%s\n", L"x");
  EXPECT_EQ(console.out(), Utf16(Console("caf\xc3\xa9\n")) + Console("x\n"));
  EXPECT_EQ(console.err(), Utf16(Console("Error: e\n")));
}

TEST_F(ConsoleTest, NativeConsoleTextIsUtf8WithRawBytesRestored) {
  if (kWindowsBuild) {
    GTEST_SKIP() << "the Windows console text is in the OEM code page";
  }
  std::wstring name = L"caf\u00e9-\U0001F600-";
  name += static_cast<wchar_t>(0xDC80 + (0xE9 - 0x80));  // the lone byte 0xE9, not UTF-8
  CapturedConsole console;
  WriteOutput(L"%s\n", name.c_str());
  EXPECT_EQ(console.out(), "caf\xc3\xa9-\xf0\x9f\x98\x80-\xe9\n");
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
  TempDir dir;
  HANDLE file = CreateFileW(WidePath(dir.path() / "missing").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_EQ(file, INVALID_HANDLE_VALUE);
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  CapturedConsole console;
  ReportSystemError(L"Unable to delete %s", L"dst" PATH_SEPARATOR_TEXT L"f");
  std::string prefix = std::string("Unable to delete dst") + kSeparator + "f: ";
  std::string err = console.err();
  ASSERT_EQ(err.substr(0, prefix.size()), prefix) << err;
  std::string text = err.substr(prefix.size());
  if (kWindowsBuild) {  // the system's own text, whose CR LF the writer turns into CR CR LF
    EXPECT_TRUE(text.size() > 3 && text.find('\n') == text.size() - 1 &&
                text.find("\r\r\n") == text.size() - 3)
        << text;
  } else {
    EXPECT_EQ(text, "No such file or directory\n");
  }
  // Without a system text for the code the message stays without a line end.
  SetLastError(0x2000FFFF);  // application-defined
  ReportSystemError(L"Unable to rename %s", L"old");
  EXPECT_EQ(console.err(), err + "Unable to rename old");
  EXPECT_EQ(console.out(), "");
}
