#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <set>
#include <sstream>

#include "program_state.h"
#include "tandrel_test.h"
#ifndef _WIN32
#include <sys/stat.h>
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
    DWORD attributes = Attributes(it->path());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
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

static uint64_t WriteTime(const fs::path& path) {  // 100 ns units since 1601
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

DWORD Attributes(const fs::path& path) {
  return GetFileAttributesW(WidePath(path).c_str());
}

void SetAttributes(const fs::path& path, DWORD attributes) {
  SetFileAttributesW(WidePath(path).c_str(), attributes);
}

void MakeFile(const fs::path& path, const std::string& contents, uint64_t time, DWORD attributes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
  HANDLE file = CreateFileW(WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  FILETIME value{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &value)) << path;
  CloseHandle(file);
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

Tree ReadBack(const fs::path& root, DWORD attributeMask) {
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
