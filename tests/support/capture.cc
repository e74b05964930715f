#include "capture.h"

#include "output/console.h"
#ifndef _WIN32
#include <fcntl.h>

#include "platform/posix/internal.h"
#endif

static HANDLE OpenCaptureFile(const fs::path& path) {
#ifdef _WIN32
  return CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                     0, nullptr);
#else
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  return new PosixFile{fd, path.native()};
#endif
}

CapturedConsole::CapturedConsole() : savedOut_(OutputHandle), savedErr_(ErrorHandle) {
  OutputHandle = out_ = OpenCaptureFile(dir_.path() / "out");
  ErrorHandle = err_ = OpenCaptureFile(dir_.path() / "err");
}

CapturedConsole::~CapturedConsole() {
  OutputHandle = savedOut_;
  ErrorHandle = savedErr_;
  CloseHandle(out_);
  CloseHandle(err_);
}
