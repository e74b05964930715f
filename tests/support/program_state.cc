#include "program_state.h"

#include "capture.h"
#include "cli/command_line.h"
#include "cli/options.h"
#include "cli/run.h"
#include "scan/filter.h"
#include "sync/paths.h"
#ifndef _WIN32
#include "platform/posix/internal.h"
#endif

void ResetProgramState() {
  RestoreDefaultOptions();
  PatternList.clear();
  IncludeMode = false;
  SourcePath[0] = 0;
  DestinationPath[0] = 0;
  SourceOnFat = false;
  DestinationOnFat = false;
  TimeShiftTicks = 0;
}

ArgumentVector::ArgumentVector(const Strings& arguments) {
  Strings all = {L"tandrel"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  for (const std::wstring& text : all)
    strings_.emplace_back(text.c_str(), text.c_str() + text.size() + 1);
  for (auto& text : strings_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

bool ProgramStateTest::Parse(const Strings& arguments) {
  ResetProgramState();
  args_ = std::make_unique<ArgumentVector>(arguments);
  CapturedConsole console;
  bool accepted = ParseCommandLine(args_->argc(), args_->argv());
  err_ = console.err();
  EXPECT_EQ(console.out(), "");
  return accepted;
}

void ProgramStateTest::Derive(const Strings& arguments) {
  EXPECT_TRUE(Parse(arguments)) << err_;
  DeriveSettings();
}

DirectoryEntry Entry(const std::wstring& name, DWORD attributes, uint64_t writeTime,
                     uint64_t size) {
  DirectoryEntry entry{};
  name.copy(entry.cFileName, name.size());
  entry.dwFileAttributes = attributes;
  entry.ftLastWriteTime.dwLowDateTime = static_cast<DWORD>(writeTime);
  entry.ftLastWriteTime.dwHighDateTime = static_cast<DWORD>(writeTime >> 32);
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
  return TempDir::PathText(fs::path(text));
#else
  return ToBytes(text.c_str(), text.size());
#endif
}
