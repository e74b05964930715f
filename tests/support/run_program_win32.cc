// Runs the built program as a child process, its output streams in files (Windows, and Wine).
#include <windows.h>

#include <algorithm>
#include <regex>

#include "tandrel_test.h"

static std::wstring WideFromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end())).wstring();
}

// One argument quoted as the C runtime splits a command line.
static std::wstring Quote(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'"')
      quoted.append(backslashes + 1, L'\\');
    backslashes = c == L'\\' ? backslashes + 1 : 0;
    quoted += c;
  }
  return quoted.append(backslashes, L'\\') + L"\"";
}

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine starts a Linux program named by its "Z:" path as it would a Windows one, but gives no
// handle to wait on: the command leaves its exit status in a file, waited for and removed.
bool RunHostCommand(const std::string& command, const fs::path& directory) {
  std::wstring line = L"sh -c " + Quote(WideFromUtf8("(" + command + "); echo $? >.host-status"));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!RunningUnderWine() ||
      !CreateProcessW(L"Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, directory.wstring().c_str(), &startup, &process))
    return false;
  std::string status;
  for (int wait = 0; wait < 3000 && (status = ReadTextFile(directory / ".host-status")).empty();
       wait++)
    Sleep(10);
  std::error_code error;
  fs::remove(directory / ".host-status", error);
  return status == "0\n";
}

RunResult RunTandrel(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
                     int, const std::vector<std::string>&) {
  std::wstring program = WideFromUtf8(TANDREL_PROGRAM_PATH);
  if (!program.empty() && program[0] == L'/')
    program = L"Z:" + program;
  std::replace(program.begin(), program.end(), L'/', L'\\');
  std::wstring commandLine = Quote(program);
  for (const auto& argument : arguments) commandLine += L" " + Quote(WideFromUtf8(argument));

  TempDir capture;
  const fs::path paths[2] = {capture.path() / "out", capture.path() / "err"};
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, 0, nullptr);
  startup.hStdOutput = CreateFileW(paths[0].wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                   &inherit, CREATE_ALWAYS, 0, nullptr);
  startup.hStdError = CreateFileW(paths[1].wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  &inherit, CREATE_ALWAYS, 0, nullptr);
  PROCESS_INFORMATION process{};
  std::wstring directory = workingDirectory.wstring();
  // No console of its own: the program writes to the files above only.
  BOOL started =
      CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     directory.empty() ? nullptr : directory.c_str(), &startup, &process);
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
    CloseHandle(handle);
  RunResult result;
  if (!started)
    return result;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  result.exitCode = static_cast<int>(code);
  result.out = ReadTextFile(paths[0]);
  // Without the lines Wine itself writes, perhaps after a thread number such as "0024:".
  static const std::regex wine("([0-9a-f]{1,4}:)?(wine|fixme|err|warn|trace):.*\n?");
  for (const std::string& line : Lines(ReadTextFile(paths[1])))
    if (!std::regex_match(line, wine))
      result.err += line;
  return result;
}
