// Standard handles and writes of the POSIX build.
#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/posix/internal.h"

namespace {
PosixFile standardOutput{STDOUT_FILENO};
PosixFile standardError{STDERR_FILENO};
}  // namespace

HANDLE GetStdHandle(DWORD which) {
  if (which == STD_OUTPUT_HANDLE)
    return &standardOutput;
  if (which == STD_ERROR_HANDLE)
    return &standardError;
  return INVALID_HANDLE_VALUE;
}

// Critical-error dialogs do not exist here; the mode is only remembered.
UINT SetErrorMode(UINT mode) {
  static UINT current = 0;
  UINT previous = current;
  current = mode;
  return previous;
}

// Writes the whole buffer, going on after short writes and interruptions. A closed stream
// loses the text (SIGPIPE is ignored by the entry point).
BOOL WriteFile(HANDLE file, const void* data, DWORD bytes, LPDWORD written, void*) {
  if (file == nullptr || file == INVALID_HANDLE_VALUE) {
    SetLastErrorCode(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  int fd = static_cast<PosixFile*>(file)->fd;
  const char* p = static_cast<const char*>(data);
  DWORD done = 0;
  while (done < bytes) {
    ssize_t n = write(fd, p + done, bytes - done);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      if (written)
        *written = done;
      SetLastErrorFromErrno(errno);
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written)
    *written = done;
  return TRUE;
}

namespace {
int DescriptorOf(HANDLE handle) {
  return handle == nullptr || handle == INVALID_HANDLE_VALUE ? -1
                                                             : static_cast<PosixFile*>(handle)->fd;
}
}  // namespace

BOOL GetConsoleMode(HANDLE console, LPDWORD mode) {
  if (!isatty(DescriptorOf(console))) {
    SetLastErrorCode(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *mode = 0;
  return TRUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
  struct winsize size;
  if (ioctl(DescriptorOf(console), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
    SetLastErrorCode(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *info = {};
  info->dwSize = {static_cast<short>(size.ws_col), static_cast<short>(size.ws_row)};
  info->srWindow = {0, 0, static_cast<short>(size.ws_col - 1), static_cast<short>(size.ws_row - 1)};
  info->dwMaximumWindowSize = info->dwSize;
  return TRUE;
}
