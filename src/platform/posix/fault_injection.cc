// Fault injection for the tests, linked only in builds made with TANDREL_FAULT_INJECTION. The
// program's own calls to the C library functions that can fail are linked to these wrappers
// (-Wl,--wrap=<name>), so the C++ runtime's calls and anything before the program starts are not
// counted. Each wrapper counts the call; the call whose ordinal is TANDREL_FAIL_CALL fails with
// TANDREL_FAIL_ERRNO (EIO, or ENOSPC, EACCES, ENOENT by name) without being made. Writes to the
// standard output and error are neither counted nor failed. TANDREL_COUNT_CALLS names a file
// that receives "calls N" at exit, and "failed NAME" (for readdir "failed readdir I", the
// call's place in its directory stream) when a call was failed. A hook (RunHook) lets a test
// change the trees at a named point of the run.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

long Number(const char* name) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::strtol(text, nullptr, 10) : 0;
}

int InjectedErrno() {
  const char* text = std::getenv("TANDREL_FAIL_ERRNO");
  if (text == nullptr)
    return EIO;
  const char* names[] = {"ENOSPC", "EACCES", "ENOENT"};
  const int errors[] = {ENOSPC, EACCES, ENOENT};
  for (int i = 0; i < 3; i++)
    if (std::strcmp(text, names[i]) == 0)
      return errors[i];
  return EIO;
}

struct Counter {
  long calls = 0, failAt = Number("TANDREL_FAIL_CALL");
  int error = InjectedErrno();
  char failed[48] = "";
  ~Counter() {
    const char* file = std::getenv("TANDREL_COUNT_CALLS");
    if (file == nullptr || file[0] == 0)
      return;
    if (std::FILE* out = std::fopen(file, "w")) {
      std::fprintf(out, "calls %ld\n", calls);
      if (failed[0] != 0)
        std::fprintf(out, "failed %s\n", failed);
      std::fclose(out);
    }
  }
};
Counter counter;
std::mutex counting;  // worker threads make calls too

// Counts a call; true when this one is to fail (errno is then set).
bool Fail(const char* name, long place = 0) {
  std::lock_guard<std::mutex> hold(counting);
  if (++counter.calls != counter.failAt)
    return false;
  std::snprintf(counter.failed, sizeof counter.failed, place ? "%s %ld" : "%s", name, place);
  errno = counter.error;
  return true;
}

// The readdir calls made on each open directory stream, for the place of a failed one.
struct Stream {
  DIR* dir;
  long reads;
};
Stream streams[256];

long& ReadsOf(DIR* dir) {
  static std::mutex lock;
  std::lock_guard<std::mutex> hold(lock);
  for (Stream& s : streams)
    if (s.dir == dir)
      return s.reads;
  for (Stream& s : streams)
    if (s.dir == nullptr)
      return (s.dir = dir, s.reads = 0, s.reads);
  return streams[0].reads;
}

// The tests' hook into a run at a named point: before the first opening of a directory named
// TANDREL_HOOK_NAME, the shell command TANDREL_HOOK_COMMAND runs (a change made between the
// listing of an entry and the walk's visit to it).
void RunHook(const char* name, int flags) {
  static bool done = false;
  const char* wanted = std::getenv("TANDREL_HOOK_NAME");
  if (done || !(flags & O_DIRECTORY) || wanted == nullptr || std::strcmp(wanted, name) != 0)
    return;
  done = true;
  if (std::system(std::getenv("TANDREL_HOOK_COMMAND")) != 0)
    std::fprintf(stderr, "hook failed\n");
}

mode_t ModeArgument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

extern "C" {

#define TANDREL_WRAP(result, name, failure, parameters, arguments) \
  result __real_##name parameters;                                 \
  result __wrap_##name parameters {                                \
    return Fail(#name) ? failure : __real_##name arguments;        \
  }

int __real_open(const char* path, int flags, ...);
int __wrap_open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return Fail("open") ? -1 : __real_open(path, flags, mode);
}

int __real_openat(int directory, const char* path, int flags, ...);
int __wrap_openat(int directory, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  RunHook(path, flags);
  return Fail("openat") ? -1 : __real_openat(directory, path, flags, mode);
}

ssize_t __real_write(int fd, const void* data, size_t bytes);
ssize_t __wrap_write(int fd, const void* data, size_t bytes) {
  if (fd == STDOUT_FILENO || fd == STDERR_FILENO)
    return __real_write(fd, data, bytes);
  return Fail("write") ? -1 : __real_write(fd, data, bytes);
}

// A failed close still closes: the descriptor is gone whatever close reports.
int __real_close(int fd);
int __wrap_close(int fd) {
  int result = __real_close(fd);
  return Fail("close") ? -1 : result;
}

struct dirent* __real_readdir(DIR* dir);
struct dirent* __wrap_readdir(DIR* dir) {
  long& reads = ReadsOf(dir);
  return Fail("readdir", ++reads) ? nullptr : __real_readdir(dir);
}

DIR* __real_fdopendir(int fd);
DIR* __wrap_fdopendir(int fd) {
  if (Fail("fdopendir"))
    return nullptr;
  DIR* dir = __real_fdopendir(fd);
  if (dir != nullptr)
    ReadsOf(dir) = 0;
  return dir;
}

TANDREL_WRAP(ssize_t, read, -1, (int fd, void* data, size_t bytes), (fd, data, bytes))
TANDREL_WRAP(int, fstat, -1, (int fd, struct stat* st), (fd, st))
TANDREL_WRAP(int, fstatat, -1, (int d, const char* path, struct stat* st, int flags),
             (d, path, st, flags))
TANDREL_WRAP(int, stat, -1, (const char* path, struct stat* st), (path, st))
TANDREL_WRAP(int, lstat, -1, (const char* path, struct stat* st), (path, st))
TANDREL_WRAP(int, statfs, -1, (const char* path, struct statfs* st), (path, st))
TANDREL_WRAP(int, fstatfs, -1, (int fd, struct statfs* st), (fd, st))
TANDREL_WRAP(int, access, -1, (const char* path, int mode), (path, mode))
TANDREL_WRAP(ssize_t, getxattr, -1, (const char* path, const char* name, void* value, size_t size),
             (path, name, value, size))
TANDREL_WRAP(ssize_t, fgetxattr, -1, (int fd, const char* name, void* value, size_t size),
             (fd, name, value, size))
TANDREL_WRAP(int, setxattr, -1,
             (const char* path, const char* name, const void* value, size_t size, int flags),
             (path, name, value, size, flags))
TANDREL_WRAP(int, lsetxattr, -1,
             (const char* path, const char* name, const void* value, size_t size, int flags),
             (path, name, value, size, flags))
TANDREL_WRAP(int, fsetxattr, -1,
             (int fd, const char* name, const void* value, size_t size, int flags),
             (fd, name, value, size, flags))
TANDREL_WRAP(int, rename, -1, (const char* from, const char* to), (from, to))
TANDREL_WRAP(int, renameat, -1, (int a, const char* from, int b, const char* to), (a, from, b, to))
TANDREL_WRAP(int, renameat2, -1, (int a, const char* from, int b, const char* to, unsigned flags),
             (a, from, b, to, flags))
TANDREL_WRAP(int, unlink, -1, (const char* path), (path))
TANDREL_WRAP(int, unlinkat, -1, (int d, const char* path, int flags), (d, path, flags))
TANDREL_WRAP(int, mkdir, -1, (const char* path, mode_t mode), (path, mode))
TANDREL_WRAP(int, mkdirat, -1, (int d, const char* path, mode_t mode), (d, path, mode))
TANDREL_WRAP(int, rmdir, -1, (const char* path), (path))
TANDREL_WRAP(int, chmod, -1, (const char* path, mode_t mode), (path, mode))
TANDREL_WRAP(int, fchmod, -1, (int fd, mode_t mode), (fd, mode))
TANDREL_WRAP(ssize_t, flistxattr, -1, (int fd, char* names, size_t size), (fd, names, size))
TANDREL_WRAP(int, fremovexattr, -1, (int fd, const char* name), (fd, name))
TANDREL_WRAP(ssize_t, readlinkat, -1, (int d, const char* path, char* text, size_t size),
             (d, path, text, size))
TANDREL_WRAP(int, symlinkat, -1, (const char* target, int d, const char* path), (target, d, path))
TANDREL_WRAP(int, linkat, -1, (int a, const char* from, int b, const char* to, int flags),
             (a, from, b, to, flags))
TANDREL_WRAP(int, fchown, -1, (int fd, uid_t owner, gid_t group), (fd, owner, group))
TANDREL_WRAP(int, fchownat, -1, (int d, const char* path, uid_t owner, gid_t group, int flags),
             (d, path, owner, group, flags))
TANDREL_WRAP(int, fchmodat, -1, (int d, const char* path, mode_t mode, int flags),
             (d, path, mode, flags))
TANDREL_WRAP(int, utimensat, -1, (int d, const char* path, const struct timespec* t, int flags),
             (d, path, t, flags))
TANDREL_WRAP(int, futimens, -1, (int fd, const struct timespec* t), (fd, t))
TANDREL_WRAP(ssize_t, copy_file_range, -1,
             (int in, off_t* inAt, int out, off_t* outAt, size_t bytes, unsigned flags),
             (in, inAt, out, outAt, bytes, flags))
TANDREL_WRAP(off_t, lseek, -1, (int fd, off_t offset, int whence), (fd, offset, whence))
TANDREL_WRAP(char*, realpath, nullptr, (const char* path, char* resolved), (path, resolved))
TANDREL_WRAP(char*, getcwd, nullptr, (char* buffer, size_t size), (buffer, size))
TANDREL_WRAP(ssize_t, pread, -1, (int fd, void* data, size_t bytes, off_t at),
             (fd, data, bytes, at))
TANDREL_WRAP(ssize_t, pwrite, -1, (int fd, const void* data, size_t bytes, off_t at),
             (fd, data, bytes, at))
TANDREL_WRAP(int, ftruncate, -1, (int fd, off_t size), (fd, size))

// The program makes two raw system calls, getxattrat and setxattrat; each has six arguments.
long __real_syscall(long number, ...);
long __wrap_syscall(long number, ...) {
  va_list list;
  va_start(list, number);
  long a[6];
  for (long& argument : a) argument = va_arg(list, long);
  va_end(list);
  if (Fail("syscall"))
    return -1;
  return __real_syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

}  // extern "C"
