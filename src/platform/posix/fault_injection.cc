// Fault injection for the tests, linked only in builds made with TANDREL_FAULT_INJECTION. The
// program's own calls to the C library functions that can fail are linked to these wrappers
// (-Wl,--wrap=<name>), so the C++ runtime's calls and anything before the program starts are not
// counted. Each wrapper counts the call; the call whose ordinal is TANDREL_FAIL_CALL fails with
// TANDREL_FAIL_ERRNO (EIO, or ENOSPC, EACCES, ENOENT by name) without being made. Writes to the
// standard output and error are neither counted nor failed. TANDREL_COUNT_CALLS names a file
// that receives "calls N" at exit, and "failed NAME" (for getdents64 "failed getdents64 I", the
// call's place among the reads of its descriptor) when a call was failed. A failure may be named by
// its place instead, the same with any number of threads: TANDREL_FAIL_POINT "NAME OBJECT N" fails
// the Nth call NAME on OBJECT (the path it acts on; temporary names are then best drawn from
// their targets' names, TANDREL_TEMPORARY_NAME=*), and
// TANDREL_LIST_POINTS names a file that receives "NAME OBJECT" for every call, in turn. A hook
// (RunHook) lets a test change the trees at a named point of the run.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
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

// Failures named by their place: the point to fail, the calls of each point so far.
struct Points {
  const char* wanted = std::getenv("TANDREL_FAIL_POINT");
  const char* listFile = std::getenv("TANDREL_LIST_POINTS");
  std::FILE* list = listFile != nullptr && listFile[0] != 0 ? std::fopen(listFile, "w") : nullptr;
  bool active = (wanted != nullptr && wanted[0] != 0) || list != nullptr;
  std::map<std::string, long> seen;
  ~Points() {
    if (list != nullptr)
      std::fclose(list);
  }
};
Points points;

// The path a descriptor stands for, as the system names it.
std::string PathOf(int fd) {
  if (fd == AT_FDCWD)
    return ".";
  char link[64], path[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, path, sizeof path);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : "?";
}

// The object of a call: a name relative to a directory, a descriptor, a path, or none.
std::string ObjectOf(int directory, const char* name) {
  std::string object = name != nullptr && name[0] == '/' ? "" : PathOf(directory);
  if (name != nullptr && name[0] != 0)
    object += (object.empty() ? "" : "/") + std::string(name);
  return object;
}

// Counts a call; true when this one is to fail (errno is then set). object gives the call's
// object, asked for only where failures are named by their place.
template <typename Object>
bool Fail(const char* name, Object object, long place = 0) {
  std::string key = points.active ? std::string(name) + " " + object() : "";
  std::lock_guard<std::mutex> hold(counting);
  bool fail = ++counter.calls == counter.failAt;
  if (points.active) {
    long n = ++points.seen[key];
    if (points.list != nullptr)
      std::fprintf(points.list, "%s\n", key.c_str());
    fail = fail || (points.wanted != nullptr && key + " " + std::to_string(n) == points.wanted);
  }
  if (!fail)
    return false;
  std::snprintf(counter.failed, sizeof counter.failed, place ? "%s %ld" : "%s", name, place);
  errno = counter.error;
  return true;
}

// The getdents64 calls made on each open descriptor, for the place of a failed one; forgotten
// when the descriptor is closed.
struct Stream {
  int fd;
  long reads;
};
Stream streams[256];
std::mutex streamsLock;

long ReadOf(int fd) {
  std::lock_guard<std::mutex> hold(streamsLock);
  for (Stream& s : streams)
    if (s.reads != 0 && s.fd == fd)
      return ++s.reads;
  for (Stream& s : streams)
    if (s.reads == 0)
      return (s.fd = fd, s.reads = 1);
  return 1;
}

void ForgetReads(int fd) {
  std::lock_guard<std::mutex> hold(streamsLock);
  for (Stream& s : streams)
    if (s.reads != 0 && s.fd == fd)
      s.reads = 0;
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

#define TANDREL_WRAP(result, name, failure, parameters, arguments, object)          \
  result __real_##name parameters;                                                  \
  result __wrap_##name parameters {                                                 \
    return Fail(#name, [&] { return object; }) ? failure : __real_##name arguments; \
  }

int __real_open(const char* path, int flags, ...);
int __wrap_open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return Fail("open", [&] { return ObjectOf(AT_FDCWD, path); }) ? -1
                                                                : __real_open(path, flags, mode);
}

int __real_openat(int directory, const char* path, int flags, ...);
int __wrap_openat(int directory, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  RunHook(path, flags);
  // An opening for a path alone (a probe of the file system) is a kind of its own.
  return Fail((flags & O_PATH) ? "openat-path" : "openat",
              [&] { return ObjectOf(directory, path); })
             ? -1
             : __real_openat(directory, path, flags, mode);
}

ssize_t __real_write(int fd, const void* data, size_t bytes);
ssize_t __wrap_write(int fd, const void* data, size_t bytes) {
  if (fd == STDOUT_FILENO || fd == STDERR_FILENO)
    return __real_write(fd, data, bytes);
  return Fail("write", [&] { return PathOf(fd); }) ? -1 : __real_write(fd, data, bytes);
}

// A failed close still closes: the descriptor is gone whatever close reports.
int __real_close(int fd);
int __wrap_close(int fd) {
  std::string object = points.active ? PathOf(fd) : "";
  ForgetReads(fd);
  int result = __real_close(fd);
  return Fail("close", [&] { return object; }) ? -1 : result;
}

ssize_t __real_getdents64(int fd, void* buffer, size_t bytes);
ssize_t __wrap_getdents64(int fd, void* buffer, size_t bytes) {
  long place = ReadOf(fd);
  return Fail(
             "getdents64", [&] { return PathOf(fd); }, place)
             ? -1
             : __real_getdents64(fd, buffer, bytes);
}

TANDREL_WRAP(ssize_t, read, -1, (int fd, void* data, size_t bytes), (fd, data, bytes), PathOf(fd))
TANDREL_WRAP(int, fstat, -1, (int fd, struct stat* st), (fd, st), PathOf(fd))
TANDREL_WRAP(int, fstatat, -1, (int d, const char* path, struct stat* st, int flags),
             (d, path, st, flags), ObjectOf(d, path))
TANDREL_WRAP(int, stat, -1, (const char* path, struct stat* st), (path, st),
             ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(int, lstat, -1, (const char* path, struct stat* st), (path, st),
             ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(int, statfs, -1, (const char* path, struct statfs* st), (path, st),
             ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(int, fstatfs, -1, (int fd, struct statfs* st), (fd, st), PathOf(fd))
TANDREL_WRAP(int, access, -1, (const char* path, int mode), (path, mode), ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(ssize_t, getxattr, -1, (const char* path, const char* name, void* value, size_t size),
             (path, name, value, size), ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(ssize_t, fgetxattr, -1, (int fd, const char* name, void* value, size_t size),
             (fd, name, value, size), PathOf(fd))
TANDREL_WRAP(int, setxattr, -1,
             (const char* path, const char* name, const void* value, size_t size, int flags),
             (path, name, value, size, flags), ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(int, lsetxattr, -1,
             (const char* path, const char* name, const void* value, size_t size, int flags),
             (path, name, value, size, flags), ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(int, fsetxattr, -1,
             (int fd, const char* name, const void* value, size_t size, int flags),
             (fd, name, value, size, flags), PathOf(fd))
TANDREL_WRAP(int, rename, -1, (const char* from, const char* to), (from, to),
             ObjectOf(AT_FDCWD, from))
TANDREL_WRAP(int, renameat, -1, (int a, const char* from, int b, const char* to), (a, from, b, to),
             ObjectOf(a, from))
TANDREL_WRAP(int, renameat2, -1, (int a, const char* from, int b, const char* to, unsigned flags),
             (a, from, b, to, flags), ObjectOf(a, from))
TANDREL_WRAP(int, unlink, -1, (const char* path), (path), ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(int, unlinkat, -1, (int d, const char* path, int flags), (d, path, flags),
             ObjectOf(d, path))
TANDREL_WRAP(int, mkdir, -1, (const char* path, mode_t mode), (path, mode),
             ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(int, mkdirat, -1, (int d, const char* path, mode_t mode), (d, path, mode),
             ObjectOf(d, path))
TANDREL_WRAP(int, rmdir, -1, (const char* path), (path), ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(int, chmod, -1, (const char* path, mode_t mode), (path, mode),
             ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(int, fchmod, -1, (int fd, mode_t mode), (fd, mode), PathOf(fd))
TANDREL_WRAP(ssize_t, flistxattr, -1, (int fd, char* names, size_t size), (fd, names, size),
             PathOf(fd))
TANDREL_WRAP(int, fremovexattr, -1, (int fd, const char* name), (fd, name), PathOf(fd))
TANDREL_WRAP(ssize_t, readlinkat, -1, (int d, const char* path, char* text, size_t size),
             (d, path, text, size), ObjectOf(d, path))
TANDREL_WRAP(int, symlinkat, -1, (const char* target, int d, const char* path), (target, d, path),
             ObjectOf(d, path))
TANDREL_WRAP(int, linkat, -1, (int a, const char* from, int b, const char* to, int flags),
             (a, from, b, to, flags), ObjectOf(b, to))
TANDREL_WRAP(int, fchown, -1, (int fd, uid_t owner, gid_t group), (fd, owner, group), PathOf(fd))
TANDREL_WRAP(int, fchownat, -1, (int d, const char* path, uid_t owner, gid_t group, int flags),
             (d, path, owner, group, flags), ObjectOf(d, path))
TANDREL_WRAP(int, fchmodat, -1, (int d, const char* path, mode_t mode, int flags),
             (d, path, mode, flags), ObjectOf(d, path))
TANDREL_WRAP(int, utimensat, -1, (int d, const char* path, const struct timespec* t, int flags),
             (d, path, t, flags), ObjectOf(d, path))
TANDREL_WRAP(int, futimens, -1, (int fd, const struct timespec* t), (fd, t), PathOf(fd))
TANDREL_WRAP(ssize_t, copy_file_range, -1,
             (int in, off_t* inAt, int out, off_t* outAt, size_t bytes, unsigned flags),
             (in, inAt, out, outAt, bytes, flags), PathOf(out))
TANDREL_WRAP(off_t, lseek, -1, (int fd, off_t offset, int whence), (fd, offset, whence), PathOf(fd))
TANDREL_WRAP(char*, realpath, nullptr, (const char* path, char* resolved), (path, resolved),
             ObjectOf(AT_FDCWD, path))
TANDREL_WRAP(char*, getcwd, nullptr, (char* buffer, size_t size), (buffer, size),
             std::string("cwd"))
TANDREL_WRAP(ssize_t, pread, -1, (int fd, void* data, size_t bytes, off_t at),
             (fd, data, bytes, at), PathOf(fd))
TANDREL_WRAP(ssize_t, pwrite, -1, (int fd, const void* data, size_t bytes, off_t at),
             (fd, data, bytes, at), PathOf(fd))
TANDREL_WRAP(int, ftruncate, -1, (int fd, off_t size), (fd, size), PathOf(fd))

// The program makes two raw system calls, getxattrat and setxattrat; each has six arguments.
long __real_syscall(long number, ...);
long __wrap_syscall(long number, ...) {
  va_list list;
  va_start(list, number);
  long a[6];
  for (long& argument : a) argument = va_arg(list, long);
  va_end(list);
  if (Fail("syscall",
           [&] { return ObjectOf(static_cast<int>(a[0]), reinterpret_cast<const char*>(a[1])); }))
    return -1;
  return __real_syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

}  // extern "C"
