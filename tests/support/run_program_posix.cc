// Runs the built program as a child process, its output streams in memory files (POSIX).
#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "tandrel_test.h"

bool RunningUnderWine() {
  return false;
}

namespace {

// Starts the program with its standard output and error on these descriptors; the child's id.
pid_t Spawn(const std::vector<std::string>& arguments, int out, int err,
            const fs::path& workingDirectory) {
  std::vector<std::string> copies = arguments;
  copies.insert(copies.begin(), TANDREL_PROGRAM_PATH);
  std::vector<char*> argv;
  for (auto& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  // Spawned rather than forked: copying a sanitized test process's mappings is slow.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  if (!workingDirectory.empty())
    posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
  pid_t child = -1;
  if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0)
    child = -1;
  posix_spawn_file_actions_destroy(&actions);
  return child;
}

int ExitCode(pid_t child) {
  int status = 127 << 8;
  if (child > 0)
    waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

RunResult RunTandrelOnTerminal(const std::vector<std::string>& arguments, int columns) {
  int master, terminal;
  termios raw;
  cfmakeraw(&raw);
  winsize size{24, static_cast<unsigned short>(columns), 0, 0};
  RunResult result;
  if (openpty(&master, &terminal, nullptr, &raw, &size) != 0)
    return result;
  fcntl(master, F_SETFD, FD_CLOEXEC), fcntl(terminal, F_SETFD, FD_CLOEXEC);
  pid_t child = Spawn(arguments, terminal, terminal, {});
  close(terminal);
  // Read while it runs (a full terminal would stop it), until its side is closed.
  char buffer[4096];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) result.out.append(buffer, n);
  close(master);
  result.exitCode = ExitCode(child);
  return result;
}

RunResult RunTandrel(const std::vector<std::string>& arguments, const fs::path& workingDirectory) {
  int streams[2] = {memfd_create("out", MFD_CLOEXEC), memfd_create("err", MFD_CLOEXEC)};
  RunResult result;
  result.exitCode = ExitCode(Spawn(arguments, streams[0], streams[1], workingDirectory));
  // The memory files read again from their start through their /proc names.
  result.out = ReadTextFile("/proc/self/fd/" + std::to_string(streams[0]));
  result.err = ReadTextFile("/proc/self/fd/" + std::to_string(streams[1]));
  close(streams[0]);
  close(streams[1]);
  return result;
}
