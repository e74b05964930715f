#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

#include "tandrel_test.h"
#ifndef _WIN32
#include "platform/posix/internal.h"
#endif

namespace {
std::wstring Wide(const fs::path& path) {
#ifdef _WIN32
  return path.wstring();
#else
  return FromBytes(path.native().data(), path.native().size());
#endif
}

// The attribute bits the build stores and a later run compares.
const DWORD kStoredBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
}  // namespace

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path base = fs::temp_directory_path();
  for (;;) {
    path_ = base / ("tandrel-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::error_code error;
    if (fs::create_directory(path_, error))
      break;
  }
}

TempDir::~TempDir() {
  MakeRemovable(path_);
  std::error_code error;
  fs::remove_all(path_, error);
}

std::string TempDir::PathText(const fs::path& path) {
#ifdef _WIN32
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
#else
  return path.native();
#endif
}

void WriteTextFile(const fs::path& path, const std::string& contents) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << contents;
}

std::string ReadTextFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

uint64_t WriteTime(const fs::path& path) {
  WIN32_FIND_DATAW data;
  std::wstring pattern = Wide(path);
  HANDLE search = FindFirstFileW(pattern.c_str(), &data);
#ifndef _WIN32
  // The POSIX layer enumerates directories only: find the entry in its parent.
  if (search == INVALID_HANDLE_VALUE) {
    std::wstring parent = Wide(path.parent_path()) + L"/*";
    std::wstring name = Wide(path.filename());
    search = FindFirstFileW(parent.c_str(), &data);
    while (search != INVALID_HANDLE_VALUE && name != data.cFileName) {
      if (!FindNextFileW(search, &data)) {
        FindClose(search);
        search = INVALID_HANDLE_VALUE;
      }
    }
  }
#endif
  if (search == INVALID_HANDLE_VALUE)
    return 0;
  FindClose(search);
  return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

void SetWriteTime(const fs::path& path, uint64_t time) {
  std::wstring wide = Wide(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  if (readOnly)
    SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
#ifdef _WIN32
  HANDLE file = CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
#else
  HANDLE file =
      CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES, 7, nullptr, OPEN_EXISTING, 0, nullptr);
#endif
  FILETIME value{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  if (file != INVALID_HANDLE_VALUE) {
    SetFileTime(file, nullptr, nullptr, &value);
    CloseHandle(file);
  }
  if (readOnly)
    SetFileAttributesW(wide.c_str(), attributes);
}

DWORD Attributes(const fs::path& path) {
  std::wstring wide = Wide(path);
  return GetFileAttributesW(wide.c_str());
}

void SetAttributes(const fs::path& path, DWORD attributes) {
  std::wstring wide = Wide(path);
  SetFileAttributesW(wide.c_str(), attributes);
}

void MakeRemovable(const fs::path& path) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(path, error)))
    return;
  for (auto it = fs::recursive_directory_iterator(path, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_symlink()) {
      it.disable_recursion_pending();
      continue;
    }
    DWORD attributes = Attributes(it->path());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kStoredBits)) {
      SetAttributes(it->path(), attributes & ~kStoredBits);
    }
#ifndef _WIN32
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
#endif
  }
}

std::string Snapshot(const fs::path& root, bool withTimes, bool withAttributes) {
  std::vector<std::string> lines;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string line = TempDir::PathText(fs::relative(it->path(), root));
    bool directory = it->is_directory();
    line += directory ? " dir" : " file " + ReadTextFile(it->path());
    if (withTimes && !directory)
      line += " t=" + std::to_string(WriteTime(it->path()));
    if (withAttributes)
      line += " a=" + std::to_string(Attributes(it->path()) & kStoredBits);
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

void MakeFile(const fs::path& path, const std::string& contents, uint64_t time, DWORD attributes) {
  fs::create_directories(path.parent_path());
  WriteTextFile(path, contents);
  SetWriteTime(path, time);
  if (attributes != 0)
    SetAttributes(path, attributes);
}

void MakeFiles(const fs::path& root, const std::string& entries) {
  std::istringstream words(entries);
  std::string entry;
  while (words >> entry) {
    size_t equals = entry.find('=');
    if (equals == std::string::npos)
      fs::create_directories(root / entry);
    else
      MakeFile(root / entry.substr(0, equals), entry.substr(equals + 1));
  }
}

std::string Listing(const fs::path& root) {
  std::vector<std::string> entries;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string entry;
    for (const auto& name : fs::relative(it->path(), root))
      entry.append(entry.empty() ? "" : "/").append(TempDir::PathText(name));
    entries.push_back(it->is_directory() ? entry + "/" : entry + "=" + ReadTextFile(it->path()));
  }
  std::sort(entries.begin(), entries.end());
  std::string text;
  for (const auto& entry : entries) text += (text.empty() ? "" : " ") + entry;
  return text;
}

TreePair::TreePair() {
  fs::create_directory(source);
  fs::create_directory(destination);
}

RunResult TreePair::Run(const std::vector<std::string>& options) const {
  std::vector<std::string> arguments{TempDir::PathText(source), TempDir::PathText(destination),
                                     "-lh=n"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return RunTandrel(arguments);
}

testing::AssertionResult TreePair::Writes(const std::vector<std::string>& options,
                                          const std::vector<std::string>& rows) const {
  RunResult r = Run(options);
  std::string expected = Log(rows);
  if (r.exitCode == 0 && r.out == expected && r.err.empty())
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << "exit code " << r.exitCode << "\nout:\n"
                                     << r.out << "expected:\n"
                                     << expected << "err:\n"
                                     << r.err;
}
