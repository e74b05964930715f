// The Windows process entry: the arguments come as wide text.
#include "platform/windows/entry_path.h"

int wmain(int argc, wchar_t** argv) {
  // A drive without a medium fails its call instead of asking the user.
  SetErrorMode(SEM_FAILCRITICALERRORS);
  PrepareThreadForFiles();
  return RunProgram(argc, argv);
}
