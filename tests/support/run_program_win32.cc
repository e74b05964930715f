// Runs the built program as a child process and gathers its output (Windows, and Wine).
#include "tandrel_test.h"

namespace {

std::wstring WideFromUtf8(const std::string& text) {
  if (text.empty())
    return {};
  int chars =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), chars);
  return wide;
}

// One argument quoted as the C runtime splits a command line.
std::wstring Quote(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      backslashes++;
    } else if (c == L'"') {
      quoted.append(2 * backslashes + 1, L'\\');
      backslashes = 0;
    } else {
      backslashes = 0;
    }
    quoted += c;
  }
  quoted.append(backslashes, L'\\');
  return quoted + L"\"";
}

std::string ReadAll(const fs::path& path) {
  return ReadTextFile(path);
}

// Removes the lines that Wine itself writes on the standard error.
std::string WithoutWineLines(const std::string& text) {
  static const char* const kPrefixes[] = {"wine:", "fixme:", "err:", "warn:", "trace:"};
  std::string kept;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(start, end - start);
    std::string body = line;
    size_t colon = line.find(':');
    if (colon != std::string::npos && colon <= 4 &&
        line.find_first_not_of("0123456789abcdef") == colon) {
      body = line.substr(colon + 1);  // a thread-number prefix such as "0024:"
    }
    bool wine = false;
    for (const char* prefix : kPrefixes) wine = wine || body.rfind(prefix, 0) == 0;
    if (!wine)
      kept += line;
    start = end;
  }
  return kept;
}

}  // namespace

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

RunResult RunTandrel(const std::vector<std::string>& arguments, const fs::path& workingDirectory) {
  std::string programText = TANDREL_PROGRAM_PATH;
  std::wstring program = WideFromUtf8(programText);
  if (!program.empty() && program[0] == L'/')
    program = L"Z:" + program;
  for (wchar_t& c : program) {
    if (c == L'/')
      c = L'\\';
  }
  std::wstring commandLine = Quote(program);
  for (const auto& argument : arguments) commandLine += L" " + Quote(WideFromUtf8(argument));

  TempDir capture;
  fs::path outPath = capture.path() / "out", errPath = capture.path() / "err";
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out = CreateFileW(outPath.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, 0, nullptr);
  HANDLE err = CreateFileW(errPath.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          OPEN_EXISTING, 0, nullptr);
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  std::wstring directory = workingDirectory.empty() ? L"" : workingDirectory.wstring();
  RunResult result;
  // No console of its own: the program writes to the files above only.
  BOOL started =
      CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     directory.empty() ? nullptr : directory.c_str(), &startup, &process);
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!started)
    return result;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  result.exitCode = static_cast<int>(code);
  result.out = ReadAll(outPath);
  result.err = WithoutWineLines(ReadAll(errPath));
  return result;
}
