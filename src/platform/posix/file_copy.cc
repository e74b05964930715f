// CopyFileAt on POSIX: the source opened relative to its directory (following a link), copied
// through a temporary file in the destination directory's descriptor (copy.cc).
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_system.h"
#include "platform/posix/internal.h"

bool LinkFileAt(const OpenDirectory& root, const wchar_t* existing, const OpenDirectory& directory,
                const wchar_t* name) {
  if (linkat(root.Descriptor, ToBytes(existing).c_str(), directory.Descriptor,
             ToBytes(name).c_str(), 0) != 0) {
    SetErrorCode(errno);
    return false;
  }
  return true;
}

// rename ignores the replaced file's own mode and attributes, so its other names (hard links)
// keep theirs: the listed attribute word is not needed.
bool CopyFileAt(const OpenDirectory& from, const wchar_t* fromName, const OpenDirectory& to,
                const wchar_t* toName, bool replace, uint32_t) {
  struct stat st;
  int in = OpenRegularFileAt(from.Descriptor, ToBytes(fromName).c_str(), &st);
  if (in < 0)
    return false;
  bool copied = CopyIntoDirectory(in, st, to.Descriptor, ToBytes(toName).c_str(), replace);
  close(in);
  return copied;
}
