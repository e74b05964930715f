// The least a program must do to see that two trees are alike: list every directory with
// getdents64 and read each entry's metadata with fstatat relative to its directory, recursing
// into sub-directories. Nothing is compared, sorted or kept. It is the yardstick for the run
// with nothing to do.
//
// Usage: bare_walk [-j2] TREE...
//   Walks the trees one after the other; with -j2, each tree on its own thread.
//   Prints the number of entries and the bytes of the files it saw.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace {

struct Totals {
  long long entries = 0;
  long long bytes = 0;
};

struct LinuxDirent64 {
  ino64_t d_ino;
  off64_t d_off;
  unsigned short d_reclen;
  unsigned char d_type;
  char d_name[];
};

void walk(int directory, Totals& totals, std::vector<char>& buffer) {
  for (;;) {
    long n = syscall(SYS_getdents64, directory, buffer.data(), buffer.size());
    if (n <= 0) break;
    for (long at = 0; at < n;) {
      auto* entry = reinterpret_cast<LinuxDirent64*>(buffer.data() + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      struct stat st;
      if (fstatat(directory, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      ++totals.entries;
      if (S_ISDIR(st.st_mode)) {
        int child = openat(directory, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child < 0) continue;
        // The buffer is still in use by this level: the child gets its own.
        std::vector<char> inner(buffer.size());
        walk(child, totals, inner);
        close(child);
      } else {
        totals.bytes += st.st_size;
      }
    }
  }
}

void walk_tree(const char* path, Totals& totals) {
  int top = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (top < 0) {
    std::perror(path);
    return;
  }
  std::vector<char> buffer(32768);
  walk(top, totals, buffer);
  close(top);
}

}  // namespace

int main(int argc, char** argv) {
  bool parallel = argc > 1 && std::strcmp(argv[1], "-j2") == 0;
  int first = parallel ? 2 : 1;
  if (first >= argc) {
    std::fprintf(stderr, "usage: bare_walk [-j2] TREE...\n");
    return 2;
  }
  std::vector<Totals> totals(argc - first);
  if (parallel) {
    std::vector<std::thread> threads;
    for (int i = first; i < argc; ++i)
      threads.emplace_back(walk_tree, argv[i], std::ref(totals[i - first]));
    for (auto& thread : threads) thread.join();
  } else {
    for (int i = first; i < argc; ++i) walk_tree(argv[i], totals[i - first]);
  }
  Totals sum;
  for (auto& t : totals) {
    sum.entries += t.entries;
    sum.bytes += t.bytes;
  }
  std::printf("%lld entries, %lld bytes\n", sum.entries, sum.bytes);
  return 0;
}
