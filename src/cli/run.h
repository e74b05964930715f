// Run preparation: the header, FAT detection of the roots, the derived settings, the pass.
#pragma once

#include "settings/options.h"

// True when a file system name begins with "FAT", in any case (FAT, FAT32; not exFAT).
bool IsFatFileSystemName(const wchar_t* name);
// True when the directory lies on a volume whose file system name begins with "FAT".
bool IsOnFatVolume(const wchar_t* directory);
// The settings other options imply, and TimeShiftTicks.
void DeriveSettings();
// Refuses overlapping roots, then the header, the settings and the pass.
void PrepareRun();
