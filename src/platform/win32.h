// The one platform header of the program. On Windows it is the Windows API itself; elsewhere
// it declares the subset the program uses, implemented over POSIX in src/platform/posix/.
// The few places where the program itself differs by platform use the constants below.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shlwapi.h>
#include <winioctl.h>

// Attribute bits of newer systems that not every SDK names.
#ifndef FILE_ATTRIBUTE_INTEGRITY_STREAM
#define FILE_ATTRIBUTE_INTEGRITY_STREAM 0x00008000
#endif
#ifndef FILE_ATTRIBUTE_RECALL_ON_OPEN
#define FILE_ATTRIBUTE_RECALL_ON_OPEN 0x00040000
#endif
#ifndef FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS
#define FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS 0x00400000
#endif

// Path separator as a wide literal, for messages that join two texts.
#define PATH_SEPARATOR_TEXT L"\\"
#define PATH_SEPARATOR_ASCII "\\"
// Size of the formatting buffer: the system's formatter never writes more than 1024 characters.
#define FORMAT_BUFFER_CHARS 1024
// Console texts end lines with carriage return plus line feed.
#define CONSOLE_CRLF 1
// Names pair regardless of letter case, as the file system looks them up.
#define NAMES_IGNORE_CASE 1
// Code page of the console text under log-oem.
#define CONSOLE_CODE_PAGE CP_OEMCP
#ifdef _WIN64
#define BUILD_LINE "x64 Unicode version"
#else
#define BUILD_LINE "Win32 Unicode version (incompatible with Windows 95/98/ME)"
#endif

#else

#include "platform/posix/windows_api.h"

#endif
