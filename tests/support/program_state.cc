#include "program_state.h"

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

ArgumentVector::ArgumentVector(std::initializer_list<std::wstring> arguments) {
  strings_.emplace_back(std::vector<wchar_t>{L't', L'a', L'n', L'd', L'r', L'e', L'l', 0});
  for (const std::wstring& argument : arguments) {
    std::vector<wchar_t> text(argument.begin(), argument.end());
    text.push_back(0);
    strings_.push_back(std::move(text));
  }
  for (auto& text : strings_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
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
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                  0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                      nullptr, nullptr);
  return out;
#else
  return ToBytes(text.c_str(), text.size());
#endif
}
