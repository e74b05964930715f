// Runs the built program as a child process, its output streams in memory files (POSIX).
#include <spawn.h>
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
  // Spawned rather than forked: copying a sanitized test process's mappings is slow.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, streams[0], 1);
  posix_spawn_file_actions_adddup2(&actions, streams[1], 2);
  if (!workingDirectory.empty())
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
  pid_t child;
  int status = 127 << 8;
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0)
    waitpid(child, &status, 0);
  posix_spawn_file_actions_destroy(&actions);
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
