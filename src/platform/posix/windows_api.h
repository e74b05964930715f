// The subset of the Windows API that the program uses, declared for the POSIX build and
// implemented in this directory. Only what the program calls, with the behaviour it relies on.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef int INT;
typedef wchar_t WCHAR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* LPVOID;
typedef DWORD* LPDWORD;

#define TRUE 1
#define FALSE 0
#define WINAPI

// Linux's PATH_MAX; every limit derived from the path length moves with it.
#define MAX_PATH 4096

#define PATH_SEPARATOR_TEXT L"/"
#define PATH_SEPARATOR_ASCII "/"
// Large enough for a message that names two full paths.
#define FORMAT_BUFFER_CHARS (3 * MAX_PATH)
#define CONSOLE_CRLF 0
// The file system is case-sensitive: names pair only when identical.
#define NAMES_IGNORE_CASE 0
#define CONSOLE_CODE_PAGE CP_UTF8
#if defined(__x86_64__)
#define BUILD_MACHINE "x86_64"
#elif defined(__i386__)
#define BUILD_MACHINE "i686"
#elif defined(__aarch64__)
#define BUILD_MACHINE "aarch64"
#else
#define BUILD_MACHINE "unknown machine"
#endif
#define BUILD_LINE BUILD_MACHINE " Linux version"

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)
#define SEM_FAILCRITICALERRORS 0x0001

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_SPARSE_FILE 0x00000200
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define FILE_ATTRIBUTE_DEVICE 0x00000040
#define FILE_ATTRIBUTE_COMPRESSED 0x00000800
#define FILE_ATTRIBUTE_OFFLINE 0x00001000
#define FILE_ATTRIBUTE_NOT_CONTENT_INDEXED 0x00002000
#define FILE_ATTRIBUTE_ENCRYPTED 0x00004000
#define FILE_ATTRIBUTE_INTEGRITY_STREAM 0x00008000
#define FILE_ATTRIBUTE_VIRTUAL 0x00010000
#define FILE_ATTRIBUTE_RECALL_ON_OPEN 0x00040000
#define FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS 0x00400000
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define ERROR_SUCCESS 0
#define ERROR_INVALID_FUNCTION 1
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_INVALID_DATA 13
#define ERROR_NOT_SAME_DEVICE 17
#define ERROR_NO_MORE_FILES 18
#define ERROR_WRITE_PROTECT 19
#define ERROR_SHARING_VIOLATION 32
#define ERROR_HANDLE_DISK_FULL 39
#define ERROR_NOT_SUPPORTED 50
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_BROKEN_PIPE 109
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_DIR_NOT_EMPTY 145
#define ERROR_MORE_DATA 234
#define ERROR_BUSY 170
#define ERROR_ALREADY_EXISTS 183
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_DIRECTORY 267
#define ERROR_CANT_RESOLVE_FILENAME 1921
#define ERROR_IO_DEVICE 1117

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef int64_t LONGLONG;
typedef union _LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
} LARGE_INTEGER;

typedef struct _COORD {
  short X, Y;
} COORD;
typedef struct _SMALL_RECT {
  short Left, Top, Right, Bottom;
} SMALL_RECT;
typedef struct _CONSOLE_SCREEN_BUFFER_INFO {
  COORD dwSize;
  COORD dwCursorPosition;
  WORD wAttributes;
  SMALL_RECT srWindow;
  COORD dwMaximumWindowSize;
} CONSOLE_SCREEN_BUFFER_INFO;

typedef struct _SECURITY_ATTRIBUTES SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// Process and console.
HANDLE GetStdHandle(DWORD which);
UINT SetErrorMode(UINT mode);
BOOL WriteFile(HANDLE file, const void* data, DWORD bytes, LPDWORD written, void* overlapped);
// Succeeds only for a terminal; the mode is always 0.
BOOL GetConsoleMode(HANDLE console, LPDWORD mode);
// Only the window: the terminal's size in columns and rows, its top left corner at 0, 0.
BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
DWORD GetLastError();
void SetLastError(DWORD code);
DWORD FormatMessageW(DWORD flags, const void* source, DWORD message, DWORD language, LPWSTR buffer,
                     DWORD size, va_list* arguments);
HLOCAL LocalFree(HLOCAL memory);

// Text.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR out,
                        int outChars);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int chars, LPSTR out,
                        int outBytes, LPCSTR defaultChar, BOOL* usedDefault);
int lstrcmpiW(LPCWSTR a, LPCWSTR b);
int lstrcmpW(LPCWSTR a, LPCWSTR b);
int lstrlenW(LPCWSTR text);
LPWSTR lstrcpyW(LPWSTR to, LPCWSTR from);
LPWSTR StrChrW(LPCWSTR text, WCHAR c);
int StrToIntW(LPCWSTR text);

// Paths.
BOOL PathIsDirectoryW(LPCWSTR path);
LPWSTR PathCombineW(LPWSTR out, LPCWSTR directory, LPCWSTR name);
BOOL PathMatchSpecW(LPCWSTR path, LPCWSTR pattern);

// Handles and times.
BOOL CloseHandle(HANDLE handle);
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);

// The program's entry point, called by the POSIX main with the decoded arguments.
int wmain(int argc, wchar_t** argv);
