// Runs the built program as a child process, its output streams in memory files (POSIX).
#include <cstdlib>
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tandrel_test.h"

bool RunningUnderWine() {
  return false;
}

bool RunHostCommand(const std::string& command, const fs::path& directory) {
  return std::system(("cd '" + directory.string() + "' && " + command).c_str()) == 0;
}

RunResult RunTandrel(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
                     int terminalColumns, const std::vector<std::string>& runner) {
  std::vector<std::string> copies = runner;
  copies.push_back(TANDREL_PROGRAM_PATH);
  // A whole test run with one number of threads (the ThreadSanitizer build's).
  if (const char* threads = std::getenv("TANDREL_TEST_THREADS"))
    copies.push_back(std::string("-j=") + threads);
  copies.insert(copies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  int streams[2], pty = -1;
  termios raw;
  cfmakeraw(&raw);
  winsize size{24, static_cast<unsigned short>(terminalColumns), 0, 0};
  if (terminalColumns > 0 && openpty(&pty, &streams[0], nullptr, &raw, &size) == 0)
    streams[1] = streams[0], fcntl(pty, F_SETFD, FD_CLOEXEC),
    fcntl(streams[0], F_SETFD, FD_CLOEXEC);
  else
    streams[0] = memfd_create("out", MFD_CLOEXEC), streams[1] = memfd_create("err", MFD_CLOEXEC);
  // Spawned rather than forked: copying a sanitized test process's mappings is slow.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, streams[0], 1);
  posix_spawn_file_actions_adddup2(&actions, streams[1], 2);
  if (!workingDirectory.empty())
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
  pid_t child;
  int status = 127 << 8;
  bool started = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  RunResult result;
  if (pty >= 0) {  // read while it runs (a full terminal would stop it) until it closes its side
    close(streams[0]);
    char buffer[4096];
    for (ssize_t n; (n = read(pty, buffer, sizeof buffer)) > 0;) result.out.append(buffer, n);
    close(pty);
  }
  if (started)
    waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (pty >= 0)
    return result;
  // The memory files read again from their start through their /proc names.
  result.out = ReadTextFile("/proc/self/fd/" + std::to_string(streams[0]));
  result.err = ReadTextFile("/proc/self/fd/" + std::to_string(streams[1]));
  close(streams[0]);
  close(streams[1]);
  return result;
}
