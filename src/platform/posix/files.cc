// Handles of the console, volume serial numbers and local times of the POSIX build.
#include <ctime>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/posix/internal.h"

DWORD VolumeSerial(dev_t device) {
  return static_cast<DWORD>((major(device) << 20) | (minor(device) & 0xFFFFF));
}

// The standard handles stay open; any other handle is closed and freed.
BOOL CloseHandle(HANDLE handle) {
  PosixFile* file = static_cast<PosixFile*>(handle);
  if (file == GetStdHandle(STD_OUTPUT_HANDLE) || file == GetStdHandle(STD_ERROR_HANDLE))
    return TRUE;
  if (file->fd > STDERR_FILENO)
    close(file->fd);
  delete file;
  return TRUE;
}

// Subtracts the local time zone's current offset from UTC.
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
  time_t now = time(nullptr);
  struct tm parts;
  localtime_r(&now, &parts);
  long long offset = static_cast<long long>(parts.tm_gmtoff) * 10000000LL;
  unsigned long long ticks =
      (static_cast<unsigned long long>(local->dwHighDateTime) << 32) | local->dwLowDateTime;
  ticks -= static_cast<unsigned long long>(offset);
  utc->dwLowDateTime = static_cast<DWORD>(ticks);
  utc->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return TRUE;
}
