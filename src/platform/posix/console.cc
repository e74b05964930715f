// Standard handles and writes of the POSIX build.
#include <cerrno>
#include <unistd.h>

#include "platform/posix/internal.h"

namespace {
PosixFile standardOutput{STDOUT_FILENO, {}};
PosixFile standardError{STDERR_FILENO, {}};
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
