#include "platform/file_system.h"
#include "platform/windows/entry_path.h"

InputFile::~InputFile() {
  if (Handle != INVALID_HANDLE_VALUE)
    CloseHandle(Handle);
}

bool OpenFileAt(const OpenDirectory& directory, const wchar_t* name, InputFile* file) {
  if (file->Handle != INVALID_HANDLE_VALUE) {
    CloseHandle(file->Handle);
    file->Handle = INVALID_HANDLE_VALUE;
  }
  // Read once from start to end: the system reads ahead.
  file->Handle = CreateFileW(EntryPath(directory, name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                             nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  return file->Handle != INVALID_HANDLE_VALUE;
}

bool ReadFileBlock(InputFile& file, void* buffer, size_t size, size_t* read) {
  // One call reads at most what a DWORD counts.
  DWORD bytes = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size), count = 0;
  bool done = ReadFile(file.Handle, buffer, bytes, &count, nullptr) != 0;
  *read = done ? count : 0;
  return done;
}

uint64_t NextDataOffset(InputFile& file, uint64_t offset) {
  FILE_ALLOCATED_RANGE_BUFFER query, range;
  query.FileOffset.QuadPart = static_cast<LONGLONG>(offset);
  query.Length.QuadPart = static_cast<LONGLONG>((~uint64_t{0} >> 1) - offset);
  DWORD bytes = 0;
  if (!DeviceIoControl(file.Handle, FSCTL_QUERY_ALLOCATED_RANGES, &query, sizeof query, &range,
                       sizeof range, &bytes, nullptr) &&
      GetLastError() != ERROR_MORE_DATA) {
    return offset;
  }
  if (bytes < sizeof range)
    return kNoMoreData;
  uint64_t data = static_cast<uint64_t>(range.FileOffset.QuadPart);
  return data > offset ? data : offset;
}

bool SeekFile(InputFile& file, uint64_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file.Handle, position, nullptr, FILE_BEGIN) != 0;
}
