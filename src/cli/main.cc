// The entry point.
#include "cli/command_line.h"
#include "cli/help.h"
#include "cli/run.h"
#include "output/console.h"
#include "platform/file_system.h"

int RunProgram(int argc, wchar_t** argv) {
  if (HasHelpRequest(argc, argv)) {
    PrintHelp();
    return 0;
  }
  if (HasVersionRequest(argc, argv)) {
    PrintVersion();
    return 0;
  }
  if (!ParseCommandLine(argc, argv))
    return 1;
  if (SourceArgument == nullptr || DestinationArgument == nullptr) {
    PrintHelp();
    return 1;
  }
  PrepareRun();
  // Any report on the standard error means the mirror is not complete.
  return ErrorReportCount > 0 ? 1 : 0;
}
