#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <set>
#include <sstream>

#include "tandrel_test.h"
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#endif

fs::path NewTempDirectory() {
  static std::atomic<int> counter;
  auto stamp = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  fs::path path;
  do path = fs::temp_directory_path() / ("tandrel-test-" + stamp + "-" + std::to_string(counter++));
  while (!fs::create_directory(path));
  return path;
}

RemovedAtEnd::~RemovedAtEnd() {
  std::error_code error;
  // Read-only entries cannot be removed on Windows.
  for (auto it = fs::recursive_directory_iterator(path, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    uint32_t attributes = Attributes(it->path());
    if (attributes != kInvalidAttributes && (attributes & kAttributeReadOnly))
      SetAttributes(it->path(), attributes & ~kStored);
  }
  fs::remove_all(path, error);
}

std::string PathText(const fs::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string ReadTextFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

bool MakeLink(const fs::path& target, const fs::path& at, bool directory) {
#ifdef _WIN32
  // Wine 8 reports success and makes nothing.
  return CreateSymbolicLinkW(at.wstring().c_str(), target.wstring().c_str(),
                             0x2 | (directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0)) != 0 &&
         GetFileAttributesW(at.wstring().c_str()) != kInvalidAttributes;
#else
  (void)directory;  // one kind of link here
  return symlink(target.c_str(), at.c_str()) == 0;
#endif
}

uint64_t WriteTime(const fs::path& path) {
#ifdef _WIN32
  WIN32_FILE_ATTRIBUTE_DATA data{};  // 0 where the path cannot be read
  GetFileAttributesExW(path.wstring().c_str(), GetFileExInfoStandard, &data);
  return (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
#else
  struct stat st;
  return stat(path.c_str(), &st) != 0 ? 0
                                      : (st.st_mtim.tv_sec + 11644473600ULL) * kSecond +
                                            static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
#endif
}

#ifdef _WIN32
uint32_t Attributes(const fs::path& path) {
  return GetFileAttributesW(path.wstring().c_str());
}

void SetAttributes(const fs::path& path, uint32_t attributes) {
  SetFileAttributesW(path.wstring().c_str(), attributes);
}
#else
// Linux keeps read-only as the absence of write permission bits, and hidden, system and archive
// as a hexadecimal number in user.DOSATTRIB (none: archive); a name beginning with "." is hidden.
uint32_t Attributes(const fs::path& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0)
    return kInvalidAttributes;
  uint32_t attributes = kAttributeArchive;
  if (S_ISDIR(st.st_mode))
    attributes |= kAttributeDirectory;
  else if ((st.st_mode & 0222) == 0)
    attributes |= kAttributeReadOnly;
  char value[64] = {};  // a text ended by a zero byte
  if (getxattr(path.c_str(), "user.DOSATTRIB", value, sizeof value - 1) > 0)
    attributes = (attributes & ~kAttributeArchive) |
                 (std::strtoul(value, nullptr, 16) & (kStored | kAttributeArchive));
  if (path.filename().native()[0] == '.')
    attributes |= kAttributeHidden;
  return attributes;
}

void SetAttributes(const fs::path& path, uint32_t attributes) {
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
  mode_t mode = (attributes & kAttributeReadOnly) && !S_ISDIR(st.st_mode)
                    ? st.st_mode & ~0222
                    : st.st_mode | (st.st_mode & 0222 ? 0 : S_IWUSR);
  EXPECT_EQ(chmod(path.c_str(), mode & 07777), 0) << path;
  // Written only where a bit it holds changes (some file systems refuse it).
  const uint32_t stored = kAttributeHidden | kAttributeSystem | kAttributeArchive;
  if (((Attributes(path) ^ attributes) & stored) == 0)
    return;
  std::ostringstream text;
  text << "0x" << std::hex << (attributes & stored);
  EXPECT_EQ(setxattr(path.c_str(), "user.DOSATTRIB", text.str().data(), text.str().size(), 0), 0)
      << path;
}
#endif

void SetWriteTime(const fs::path& path, uint64_t time) {
#ifdef _WIN32
  HANDLE file = CreateFileW(path.wstring().c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  FILETIME value{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &value)) << path;
  CloseHandle(file);
#else
  const uint64_t unixTicks = time - 11644473600ULL * kSecond;
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(unixTicks / kSecond);
  times[0].tv_nsec = times[1].tv_nsec = static_cast<long>(unixTicks % kSecond * 100);
  EXPECT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
#endif
}

void MakeFile(const fs::path& path, const std::string& contents, uint64_t time,
              uint32_t attributes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
  SetWriteTime(path, time);
  if (attributes != 0)
    SetAttributes(path, attributes);
}

void MakeFiles(const fs::path& root, const std::string& entries) {
  std::istringstream words(entries);
  for (std::string entry; words >> entry;) {
    size_t equals = entry.find('=');
    if (equals == std::string::npos)
      fs::create_directories(root / entry);
    else
      MakeFile(root / entry.substr(0, equals), entry.substr(equals + 1));
  }
}

Tree ReadBack(const fs::path& root, uint32_t attributeMask) {
  Tree tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    std::string path = PathText(item.path().lexically_relative(root));
    bool directory = item.is_directory();
    tree[Key(path)] = {path, directory, directory ? "" : ReadTextFile(item.path()),
                       directory ? 0 : WriteTime(item.path()),
                       Attributes(item.path()) & attributeMask};
  }
  return tree;
}

std::string Listing(const fs::path& root, bool details) {
  std::set<std::string> entries;
  for (auto [key, e] : ReadBack(root)) {
    std::replace(e.path.begin(), e.path.end(), kSeparator[0], '/');
    e.path.append(e.directory ? "/" : "=").append(e.contents);
    if (details && !e.directory)
      e.path.append("@").append(std::to_string(e.time));
    if (details)
      e.path.append("#").append(std::to_string(e.attributes));
    entries.insert(e.path);
  }
  std::string text;
  for (const auto& entry : entries) text += (text.empty() ? "" : " ") + entry;
  return text;
}

RunResult TreePair::Run(const std::vector<std::string>& options) const {
  std::vector<std::string> arguments{PathText(source), PathText(destination), "-lh=n"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return RunTandrel(arguments);
}

testing::AssertionResult TreePair::Writes(const std::vector<std::string>& options,
                                          const std::vector<std::string>& rows) const {
  RunResult r = Run(options);
  if (r.exitCode == 0 && r.out == Log(rows) && r.err.empty())
    return testing::AssertionSuccess();
  return testing::AssertionFailure()
         << "exit code " << r.exitCode
         << "\nout:\n" + r.out + "expected:\n" + Log(rows) + "err:\n" + r.err;
}
