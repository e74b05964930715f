#include "program_state.h"

#include "cli/command_line.h"
#include "settings/options.h"
#include "cli/run.h"
#include "scan/filter.h"
#include "output/console.h"
#ifndef _WIN32
#include <fcntl.h>

#include "platform/posix/internal.h"
#endif

static HANDLE OpenCaptureFile(const fs::path& path) {
#ifdef _WIN32
  return CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     0, nullptr);
#else
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  return new PosixFile{fd};
#endif
}

CapturedConsole::CapturedConsole() : savedOut_(OutputHandle), savedErr_(ErrorHandle) {
  OutputHandle = out_ = OpenCaptureFile(dir_.path() / "out");
  ErrorHandle = err_ = OpenCaptureFile(dir_.path() / "err");
}

CapturedConsole::~CapturedConsole() {
  OutputHandle = savedOut_;
  ErrorHandle = savedErr_;
  CloseHandle(out_);
  CloseHandle(err_);
}

void ProgramStateTest::Reset() {
  RestoreDefaultOptions();
  PatternList.clear();
  IncludeMode = false;
  SourceArgument = DestinationArgument = nullptr;
  SourceOnFat = DestinationOnFat = false;
  TimeShiftTicks = 0;
}

void ProgramStateTest::Derive(const Strings& arguments) {
  Reset();
  args_ = arguments;
  args_.insert(args_.begin(), L"tandrel");
  argv_.clear();
  for (std::wstring& argument : args_) argv_.push_back(argument.data());
  CapturedConsole console;
  EXPECT_TRUE(ParseCommandLine(static_cast<int>(args_.size()), argv_.data())) << console.err();
  EXPECT_EQ(console.out(), "");
  DeriveSettings();
}

DirectoryEntry Entry(const std::wstring& name, DWORD attributes, uint64_t writeTime,
                     uint64_t size) {
  static NameStore names;  // the test's names live as long as the test program
  DirectoryEntry entry{};
  entry.cFileName = names.Add(name.c_str());
  entry.dwFileAttributes = attributes;
  entry.ftLastWriteTime = {static_cast<DWORD>(writeTime), static_cast<DWORD>(writeTime >> 32)};
  entry.nFileSizeLow = static_cast<DWORD>(size);
  entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  return entry;
}

std::wstring WidePath(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return FromBytes(path.native().data(), path.native().size());
#endif
}

std::string Narrow(const std::wstring& text) {
#ifdef _WIN32
  return PathText(fs::path(text));
#else
  return ToBytes(text.c_str(), text.size());
#endif
}
