// Runs the built program as a child process, its output streams in memory files (POSIX).
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tandrel_test.h"

bool RunningUnderWine() {
  return false;
}

RunResult RunTandrel(const std::vector<std::string>& arguments, const fs::path& workingDirectory) {
  std::vector<std::string> copies{TANDREL_PROGRAM_PATH};
  copies.insert(copies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int streams[2] = {memfd_create("out", MFD_CLOEXEC), memfd_create("err", MFD_CLOEXEC)};
  pid_t child = fork();
  if (child == 0) {
    if (dup2(streams[0], 1) >= 0 && dup2(streams[1], 2) >= 0 &&
        (workingDirectory.empty() || chdir(workingDirectory.c_str()) == 0))
      execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::string* sinks[2] = {&result.out, &result.err};
  for (int i = 0; i < 2; i++) {
    char buffer[65536];
    lseek(streams[i], 0, SEEK_SET);
    for (ssize_t n; (n = read(streams[i], buffer, sizeof buffer)) > 0;)
      sinks[i]->append(buffer, static_cast<size_t>(n));
    close(streams[i]);
  }
  return result;
}
