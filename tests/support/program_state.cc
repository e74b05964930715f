#include "program_state.h"

#include "cli/command_line.h"
#include "settings/options.h"
#include "cli/run.h"
#include "scan/filter.h"
#include "output/console.h"
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/internal.h"
#endif

#ifdef _WIN32
static const DWORD kStreams[2] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
#endif

// The streams are redirected as the system redirects them, so the program writes as it always
// does.
CapturedConsole::CapturedConsole() {
  fflush(stdout), fflush(stderr);
  for (int i = 0; i < 2; i++) {
    const fs::path file = dir_.path() / (i == 0 ? "out" : "err");
#ifdef _WIN32
    saved_[i] = reinterpret_cast<intptr_t>(GetStdHandle(kStreams[i]));
    SetStdHandle(kStreams[i], CreateFileW(file.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                          nullptr, CREATE_ALWAYS, 0, nullptr));
#else
    saved_[i] = dup(1 + i);
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1 + i);
    close(fd);
#endif
  }
}

CapturedConsole::~CapturedConsole() {
  for (int i = 0; i < 2; i++) {
#ifdef _WIN32
    CloseHandle(GetStdHandle(kStreams[i]));
    SetStdHandle(kStreams[i], reinterpret_cast<HANDLE>(saved_[i]));
#else
    dup2(static_cast<int>(saved_[i]), 1 + i);
    close(static_cast<int>(saved_[i]));
#endif
  }
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
  std::string out, err;
  bool parsed;
  {
    CapturedConsole console;
    parsed = ParseCommandLine(static_cast<int>(args_.size()), argv_.data());
    out = console.out(), err = console.err();
  }
  EXPECT_TRUE(parsed) << err;
  EXPECT_EQ(out, "");
  DeriveSettings();
}

DirectoryEntry Entry(const std::wstring& name, uint32_t attributes, uint64_t writeTime,
                     uint64_t size) {
  static NameStore names;  // the test's names live as long as the test program
  DirectoryEntry entry{};
#ifdef _WIN32
  entry.Name = names.Add(name.c_str());
#else
  entry.Name = names.Add(ToBytes(name.c_str()).c_str());
#endif
  entry.Attributes = attributes;
  entry.WriteTime = FileTime::Of(writeTime);
  entry.SizeLow = static_cast<uint32_t>(size);
  entry.SizeHigh = static_cast<uint32_t>(size >> 32);
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
