// Run preparation: the header, FAT detection of the roots, the derived settings, the pass.
#pragma once

#include "platform/file_system.h"
#include "settings/options.h"

// True when a file system name begins with "FAT", in any case (FAT, FAT32; not exFAT).
bool IsFatFileSystemName(const wchar_t* name);
// True, under time-shift-fat, when the open directory lies on a volume whose file system name
// begins with "FAT".
bool IsOnFatVolume(const OpenDirectory& directory);
// The settings other options imply, and TimeShiftTicks.
void DeriveSettings();
// Refuses overlapping roots, then the header, the settings and the pass.
void PrepareRun();
