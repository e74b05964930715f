// The POSIX process entry: decodes the arguments (UTF-8, other bytes carried as escapes) and
// runs the program.
#include <clocale>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "platform/posix/internal.h"

int main(int argc, char** argv) {
  // A closed output stream loses the text instead of ending the process.
  std::signal(SIGPIPE, SIG_IGN);
  // Case folding for the name order and the patterns.
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr)
    std::setlocale(LC_CTYPE, "");
  // The tree actions keep one directory open per level; deep trees need many.
  struct rlimit files;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  std::vector<std::wstring> arguments;
  for (int i = 0; i < argc; i++) arguments.push_back(FromBytes(argv[i], std::strlen(argv[i])));
  std::vector<wchar_t*> pointers;
  for (auto& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return RunProgram(argc, pointers.data());
}
