// The console writer: line ends, the console encodings, the formatting buffer's limit, log
// lines and system-error reports, as the bytes that reach the streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "cli/options.h"
#include "output/console.h"
#include "program_state.h"
#include "sync/paths.h"

namespace {

class ConsoleTest : public ProgramStateTest {};

std::wstring Expanded(const std::wstring& text, int* length) {
  std::vector<wchar_t> expansion(2 * text.size() + 1, L'#');
  *length = ExpandLineEnds(text.c_str(), expansion.data());
  return std::wstring(expansion.data());
}

std::string Encoded(const std::wstring& text, int* count) {
  std::vector<char> bytes(4 * text.size() + 4);
  *count = EncodeConsoleText(text.c_str(), static_cast<int>(text.size()), bytes.data(),
                             static_cast<int>(bytes.size()));
  return std::string(bytes.data(), static_cast<size_t>(*count > 0 ? *count : 0));
}

TEST_F(ConsoleTest, LineEndsExpandOnWindowsOnly) {
  int length = -1;
  std::wstring text = L"\nab\ncd\r\n\n";
  std::wstring expanded = Expanded(text, &length);
  if (kWindowsBuild) {
    // A carriage return already before a line feed is kept, so it comes out doubled.
    EXPECT_EQ(expanded, L"\r\nab\r\ncd\r\r\n\r\n");
  } else {
    EXPECT_EQ(expanded, text);
  }
  EXPECT_EQ(length, static_cast<int>(expanded.size()));
  EXPECT_EQ(Expanded(L"", &length), L"");
  EXPECT_EQ(length, 0);
  EXPECT_EQ(Expanded(L"no line end\r", &length), L"no line end\r");
  EXPECT_EQ(length, 12);
}

TEST_F(ConsoleTest, WithoutLogOemTextIsUtf16LittleEndianWithoutByteOrderMark) {
  OptionTable[kLogOem].Value = 0;
  int count = -1;
  EXPECT_EQ(Encoded(L"A\u00e9\u4e2d\n", &count), std::string("A\0\xe9\0\x2d\x4e\n\0", 8));
  EXPECT_EQ(count, 8);
  // A character beyond U+FFFF is a surrogate pair (a 32-bit wchar_t is split into one).
  EXPECT_EQ(Encoded(L"x\U0001F600y", &count), std::string("x\0\x3d\xd8\x00\xdey\0", 8));
  EXPECT_EQ(count, 8);
  EXPECT_EQ(Encoded(L"", &count), "");
  EXPECT_EQ(count, 0);
}

TEST_F(ConsoleTest, UnderLogOemTextIsInTheConsoleCodePage) {
  ASSERT_EQ(OptionTable[kLogOem].Value, 1);
  int count = -1;
  EXPECT_EQ(Encoded(L"plain text\r\n", &count), "plain text\r\n");
  EXPECT_EQ(count, 12);
  EXPECT_EQ(Encoded(L"", &count), "");
  EXPECT_EQ(count, 0);
#ifdef _WIN32
  if (GetOEMCP() == 437) {
    EXPECT_EQ(Encoded(L"caf\u00e9", &count), "caf\x82");
    EXPECT_EQ(count, 4);
  }
#else
  // UTF-8, with the escapes of bytes that were not UTF-8 turned back into those bytes; the count
  // is the real length of the converted text.
  std::wstring text = L"A\u00e9";
  text += static_cast<wchar_t>(0xDCFF);
  text += static_cast<wchar_t>(0xDC80);
  text += L"\U0001F600";
  EXPECT_EQ(Encoded(text, &count), "A\xc3\xa9\xff\x80\xf0\x9f\x98\x80");
  EXPECT_EQ(count, 9);
#endif
}

TEST_F(ConsoleTest, WritesGoToTheirStreamsExpandedAndEncoded) {
  CapturedConsole console;
  WriteOutput(L"\nTandreling directory: %s\nto directory: %s\n", L"src", L"dst");
  WriteError(L"Error: %s\n", L"e");
  EXPECT_EQ(console.out(), Header("src", "dst"));
  EXPECT_EQ(console.err(), Console("Error: e\n"));
  OptionTable[kLogOem].Value = 0;
  WriteOutput(L"%s\n", L"caf\u00e9");
  EXPECT_EQ(console.out(), Header("src", "dst") + Utf16(Console("caf\xc3\xa9\n")));
}

TEST_F(ConsoleTest, NativeConsoleTextIsUtf8WithRawBytesRestored) {
  if (kWindowsBuild)
    GTEST_SKIP() << "the Windows console text is in the OEM code page";
  CapturedConsole console;
  std::wstring name = L"caf\u00e9-";
  name += static_cast<wchar_t>(0xDC80 + (0xE9 - 0x80));  // a lone byte 0xE9, not UTF-8
  WriteOutput(L"%s\n", name.c_str());
  EXPECT_EQ(console.out(), "caf\xc3\xa9-\xe9\n");
}

TEST_F(ConsoleTest, FormattedMessageIsCutOneBelowTheFormattingBuffer) {
  const size_t keep = FORMAT_BUFFER_CHARS - 1;
  if (kWindowsBuild) {
    EXPECT_EQ(keep, 1023u);
  }
  CapturedConsole console;
  // Exactly what fits, line end included.
  std::wstring fits(keep - 1, L'a');
  WriteOutput(L"%s\n", fits.c_str());
  EXPECT_EQ(console.out(), Console(std::string(keep - 1, 'a') + "\n"));
  // One more: the line end is lost with the rest.
  CapturedConsole cut;
  std::wstring longer(keep, L'b');
  WriteOutput(L"%s\n", longer.c_str());
  EXPECT_EQ(cut.out(), std::string(keep, 'b'));
  // Far more, after a label.
  CapturedConsole longestConsole;
  std::wstring longest(FORMAT_BUFFER_CHARS + 300, L'c');
  WriteOutput(L"%-12s%s\n", L"add", longest.c_str());
  EXPECT_EQ(longestConsole.out(), "add         " + std::string(keep - 12, 'c'));
}

TEST_F(ConsoleTest, PathTooLongMessageWithTwoFullPathsIsWhole) {
  CapturedConsole console;
  std::wstring directory(MAX_PATH - 1, L'd');
  std::wstring name(200, L'n');
  std::vector<wchar_t> out(MAX_PATH);
  EXPECT_FALSE(CombinePath(out.data(), directory.c_str(), name.c_str()));
  EXPECT_EQ(console.err(), Console("Error: path too long: " + std::string(MAX_PATH - 1, 'd') +
                                   kSeparator + std::string(200, 'n') + "\n"));
}

TEST_F(ConsoleTest, LogLinePadsTheLabelToTwelveColumns) {
  CapturedConsole console;
  WriteLogLine(L"add", L"dst");
  WriteLogLine(L"delete dir", L"d2");
  WriteLogLine(L"comparing", L"");
  EXPECT_EQ(console.out(), Console("add         dst\n"
                                   "delete dir  d2\n"
                                   "comparing   \n"));
}

TEST_F(ConsoleTest, LogListLeavesTheBarePath) {
  OptionTable[kLogList].Value = 1;
  CapturedConsole console;
  WriteLogLine(L"update", L"some path");
  WriteLogLine(L"meta", L"other");
  EXPECT_EQ(console.out(), Console("some path\nother\n"));
  EXPECT_EQ(console.err(), "");
}

TEST_F(ConsoleTest, LogLineUnderUtf16) {
  OptionTable[kLogOem].Value = 0;
  CapturedConsole console;
  WriteLogLine(L"equal", L"p");
  EXPECT_EQ(console.out(), Utf16(LogLine("equal", "p")));
}

TEST_F(ConsoleTest, SystemErrorReportIsMessageColonSystemText) {
  TempDir dir;
  std::wstring missing = WidePath(dir.path() / "missing");
  HANDLE file = CreateFileW(missing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  ASSERT_EQ(file, INVALID_HANDLE_VALUE);
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  CapturedConsole console;
  ReportSystemError(L"Unable to delete %s", L"dst" PATH_SEPARATOR_TEXT L"f");
  std::string err = console.err();
  std::string prefix = std::string("Unable to delete dst") + kSeparator + "f: ";
  ASSERT_EQ(err.substr(0, prefix.size()), prefix) << err;
  std::string text = err.substr(prefix.size());
  if (kWindowsBuild) {
    // The system's text ends in CR LF, which the writer turns into CR CR LF.
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text.substr(text.size() - 3), "\r\r\n") << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
  } else {
    EXPECT_EQ(text, "No such file or directory\n");
  }
  EXPECT_EQ(console.out(), "");
}

TEST_F(ConsoleTest, SystemErrorWithoutTextLeavesTheMessageWithoutLineEnd) {
  CapturedConsole console;
  SetLastError(0x2000FFFF);  // an application-defined code: the system has no text for it
  ReportSystemError(L"Unable to rename %s", L"old");
  EXPECT_EQ(console.err(), "Unable to rename old");
  WriteError(L"Error: %s\n", L"next");
  EXPECT_EQ(console.err(), "Unable to rename old" + Console("Error: next\n"));
}

TEST_F(ConsoleTest, SystemErrorReportUnderUtf16) {
  OptionTable[kLogOem].Value = 0;
  CapturedConsole console;
  SetLastError(0x2000FFFF);
  ReportSystemError(L"Unable to copy %s", L"x");
  EXPECT_EQ(console.err(), Utf16("Unable to copy x"));
}

}  // namespace
