#include "cli/run.h"

#include "settings/options.h"
#include "output/console.h"
#include "output/progress.h"
#include "sync/directory_pass.h"
#include "sync/paths.h"
#include "sync/walk_guard.h"
#include "sync/run_summary.h"

bool IsFatFileSystemName(const wchar_t* name) {
  wchar_t prefix[4];
  int i = 0;
  for (; i < 3 && name[i] != 0; i++) prefix[i] = name[i];
  prefix[i] = 0;
  return lstrcmpiW(prefix, L"FAT") == 0;
}

bool IsOnFatVolume(const wchar_t* directory) {
  if (!OptionSet(kTimeShiftFat))
    return false;
  PathBuffer path;
  DWORD length = GetFullPathNameW(directory, MAX_PATH, path.get(), nullptr);
  if (length == 0 || length >= MAX_PATH)
    lstrcpyW(path.get(), directory);
  for (;;) {
    PathAddBackslashW(path.get());
    wchar_t volumeName[256];
    wchar_t fileSystem[256];
    if (GetVolumeInformationW(path.get(), volumeName, 256, nullptr, nullptr, nullptr, fileSystem,
                              256)) {
      return IsFatFileSystemName(fileSystem);
    }
    PathRemoveBackslashW(path.get());
    if (!PathRemoveFileSpecW(path.get()))
      return false;
  }
}

void DeriveSettings() {
  if (OptionValue(kTimePrecision) < 0)
    OptionTable[kTimePrecision].Value = 0;
  if (OptionSet(kTimeCompareContents))
    OptionTable[kCompareTime].Value = 1;
  if (OptionSet(kCompareContents) || OptionSet(kTimeCompareContents)) {
    OptionTable[kCompareSize].Value = 1;
  }
  TimeShiftTicks = static_cast<int64_t>(OptionValue(kTimeShift)) * 10000000;
}

void PrepareRun() {
  if (!CheckRoots())
    return;
  StartRunSummary();
  StartProgress();
  if (OptionSet(kLogHeader)) {
    WriteOutput(L"\nTandreling directory: %s\nto directory: %s\n", SourcePath, DestinationPath);
  }
  SourceOnFat = IsOnFatVolume(SourcePath);
  DestinationOnFat = IsOnFatVolume(DestinationPath);
  DeriveSettings();
  ProcessDirectoryPair();
  WriteRunSummary();
  ClearProgressLine(nullptr);
}
