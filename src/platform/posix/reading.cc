// Files open for reading on POSIX: the contents comparison's opens, reads, seeks and the query
// of where a file's data lies (SEEK_DATA and SEEK_HOLE).
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_system.h"
#include "platform/posix/internal.h"

int OpenRegularFileAt(int directory, const char* name, struct stat* st) {
  // Not blocking on the open: a FIFO put in place since the listing must not hang the run.
  int fd = openat(directory, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    SetErrorCode(errno);
    return -1;
  }
  int error = 0;
  if (fstat(fd, st) != 0) {
    error = errno;
  } else if (!S_ISREG(st->st_mode)) {
    error = S_ISDIR(st->st_mode) ? EISDIR : EACCES;
  }
  if (error != 0) {
    close(fd);
    SetErrorCode(error);
    return -1;
  }
  // O_NONBLOCK stays: reads of a regular file ignore it.
  return fd;
}

bool ReadBlock(int fd, void* buffer, size_t size, size_t* read) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n >= 0) {
      *read = static_cast<size_t>(n);
      return true;
    }
    if (errno != EINTR) {
      *read = 0;
      SetErrorCode(errno);
      return false;
    }
  }
}

int DataRangeAt(int fd, off_t offset, off_t* data, off_t* hole) {
  // The seeks move the file position, which the query must leave where it was.
  off_t position = lseek(fd, 0, SEEK_CUR);
  *data = position < 0 ? -1 : lseek(fd, offset, SEEK_DATA);
  if (*data < 0) {
    int error = errno;
    if (position >= 0)
      lseek(fd, position, SEEK_SET);
    errno = error;
    return error == ENXIO ? 0 : -1;  // ENXIO: only a hole follows
  }
  off_t end = hole == nullptr ? 0 : lseek(fd, *data, SEEK_HOLE);
  int error = errno;
  lseek(fd, position, SEEK_SET);
  errno = error;
  if (hole != nullptr)
    *hole = end;
  return end < 0 ? -1 : 1;
}

InputFile::~InputFile() {
  if (Descriptor >= 0)
    close(Descriptor);
}

bool OpenFileAt(const OpenDirectory& directory, const wchar_t* name, InputFile* file) {
  struct stat st;
  int fd = OpenRegularFileAt(directory.Descriptor, ToBytes(name).c_str(), &st);
  if (fd < 0)
    return false;
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  if (file->Descriptor >= 0)
    close(file->Descriptor);
  file->Descriptor = fd;
  return true;
}

bool ReadFileBlock(InputFile& file, void* buffer, size_t size, size_t* read) {
  return ReadBlock(file.Descriptor, buffer, size, read);
}

uint64_t NextDataOffset(InputFile& file, uint64_t offset) {
  off_t data;
  int found = DataRangeAt(file.Descriptor, static_cast<off_t>(offset), &data, nullptr);
  if (found < 0)
    return offset;  // the file system cannot tell: the data may start here
  return found == 0 ? kNoMoreData : static_cast<uint64_t>(data);
}

bool SeekFile(InputFile& file, uint64_t offset) {
  if (lseek(file.Descriptor, static_cast<off_t>(offset), SEEK_SET) < 0) {
    SetErrorCode(errno);
    return false;
  }
  return true;
}
