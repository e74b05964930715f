// The standard streams of the POSIX build.
#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/posix/internal.h"

namespace {
int DescriptorOf(ConsoleStream stream) {
  return stream == kOutputStream ? STDOUT_FILENO : stream == kErrorStream ? STDERR_FILENO : -1;
}
}  // namespace

// Writes the whole buffer, going on after short writes and interruptions. A closed stream
// loses the text (SIGPIPE is ignored by the entry point).
bool WriteConsoleBytes(ConsoleStream stream, const char* bytes, size_t count) {
  int fd = DescriptorOf(stream);
  for (size_t done = 0; fd >= 0 && done < count;) {
    ssize_t n = write(fd, bytes + done, count - done);
    if (n < 0 && errno != EINTR) {
      SetErrorCode(errno);
      return false;
    }
    done += n > 0 ? static_cast<size_t>(n) : 0;
  }
  return true;
}

bool IsTerminal(ConsoleStream stream) {
  return isatty(DescriptorOf(stream)) != 0;
}

int TerminalColumns(ConsoleStream stream) {
  struct winsize size;
  return ioctl(DescriptorOf(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}
