// The last error of the POSIX build: Windows codes mapped from errno, and the strerror text
// of the errno behind the code as the system message.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/internal.h"

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;
thread_local int lastErrno = 0;

DWORD MapErrno(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EBUSY:
    case ETXTBSY:
      return ERROR_BUSY;
    case ELOOP:
      return ERROR_CANT_RESOLVE_FILENAME;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOTSUP:
      return ERROR_NOT_SUPPORTED;
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    default:
      return ERROR_IO_DEVICE;
  }
}

// Text for a code that no errno stands behind.
const char* CodeText(DWORD code) {
  switch (code) {
    case ERROR_NO_MORE_FILES:
      return "There are no more files.";
    case ERROR_INVALID_DATA:  // set by SetFileAttributesW alone
      return "user.DOSATTRIB holds no attribute number; it was left as it is.";
    case ERROR_INSUFFICIENT_BUFFER:
      return "The data area passed to a system call is too small.";
    case ERROR_DIRECTORY:
      return "The directory name is invalid.";
    default:
      return nullptr;
  }
}

}  // namespace

void SetLastErrorFromErrno(int error) {
  lastError = MapErrno(error);
  lastErrno = error;
}

void SetLastErrorCode(DWORD code) {
  lastError = code;
  lastErrno = 0;
}

DWORD GetLastError() {
  return lastError;
}

// The program sets a code itself to keep an error across other calls (the same code: its text
// stays) or where the text of an errno fits it.
void SetLastError(DWORD code) {
  if (code == lastError)
    return;
  if (code == ERROR_CANT_RESOLVE_FILENAME)
    SetLastErrorFromErrno(ELOOP);
  else if (code == ERROR_FILENAME_EXCED_RANGE)
    SetLastErrorFromErrno(ENAMETOOLONG);
  else
    SetLastErrorCode(code);
}

// Only the form the program uses: an allocated buffer with the text of the last error code,
// ending in a line feed. Returns 0 when there is no text.
DWORD FormatMessageW(DWORD flags, const void*, DWORD message, DWORD, LPWSTR buffer, DWORD,
                     va_list*) {
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) == 0) {
    return 0;
  }
  const char* text = nullptr;
  if (message == lastError && lastErrno != 0)
    text = std::strerror(lastErrno);
  if (text == nullptr)
    text = CodeText(message);
  if (text == nullptr)
    return 0;
  std::wstring wide = FromBytes(text, std::strlen(text));
  wide.push_back(L'\n');
  wchar_t* copy = static_cast<wchar_t*>(std::malloc((wide.size() + 1) * sizeof(wchar_t)));
  if (copy == nullptr)
    return 0;
  wide.copy(copy, wide.size());
  copy[wide.size()] = 0;
  *reinterpret_cast<wchar_t**>(buffer) = copy;
  return static_cast<DWORD>(wide.size());
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}
