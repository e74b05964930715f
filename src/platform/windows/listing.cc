#include <memory>

#include "platform/file_system.h"
#include "platform/windows/entry_path.h"

namespace {

bool IsDotName(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

ListedRecord RecordOf(const WIN32_FIND_DATAW& data) {
  ListedRecord record = {};
  record.Name = data.cFileName;
  record.Attributes = data.dwFileAttributes;
  // Only links count as reparse points: other tags (cloud placeholders, deduplicated files)
  // mark ordinary files and directories.
  if (!ReparseTagIsLink(data.dwReserved0))
    record.Attributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
  record.WriteTime = {data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime};
  record.Size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  record.IdentityKnown = false;  // asked for by opening the entry, where it is needed
  record.AttributesUnknown = false;
  record.SymbolicLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
                        data.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
  return record;
}

}  // namespace

bool ListOpenDirectory(const OpenDirectory& directory,
                       const std::function<void(const ListedRecord&)>& visit) {
  std::wstring pattern = EntryPath(directory, L"*");
  // The platform's record is large: one serves the whole enumeration.
  std::unique_ptr<WIN32_FIND_DATAW> data(new WIN32_FIND_DATAW);
  // The basic record (no short names) in large batches: less work per entry.
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, data.get(),
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE)
    return false;
  do {
    if (!IsDotName(data->cFileName))
      visit(RecordOf(*data));
  } while (FindNextFileW(search, data.get()));
  // An enumeration that broke off is a failed listing, not the end of the directory.
  DWORD error = GetLastError();
  FindClose(search);
  SetLastError(error);
  return error == ERROR_NO_MORE_FILES;
}
