// Symbolic links as links on POSIX: their target text read and written relative to the
// directory's descriptor, never followed.
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/internal.h"

bool ReadLinkAt(const OpenDirectory& directory, const wchar_t* name, std::wstring* target) {
  std::string bytes = ToBytes(name);
  std::vector<char> text(256);
  for (;;) {
    ssize_t length = readlinkat(directory.Descriptor, bytes.c_str(), text.data(), text.size());
    if (length < 0) {
      SetErrorCode(errno);
      return false;
    }
    if (static_cast<size_t>(length) < text.size()) {
      *target = FromBytes(text.data(), static_cast<size_t>(length));
      return true;
    }
    text.resize(text.size() * 2);  // it may have been cut
  }
}

bool MakeLinkAt(const OpenDirectory& directory, const wchar_t* name, const std::wstring& target,
                bool) {
  if (symlinkat(ToBytes(target.c_str()).c_str(), directory.Descriptor, ToBytes(name).c_str()) !=
      0) {
    SetErrorCode(errno);
    return false;
  }
  return true;
}
