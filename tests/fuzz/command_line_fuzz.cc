// Fuzz target for the command line: the input, split at line feeds, is the argument list, taken
// through the option table, the value rules and the pattern options; an accepted list's settings
// are derived and its patterns asked about a path. Each argument is made an option, so the parse
// never looks at the file system; no console is set, so no message is written.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "cli/command_line.h"
#include "settings/options.h"
#include "cli/run.h"
#include "platform/posix/internal.h"
#include "scan/filter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  std::vector<std::wstring> arguments{L"tandrel"};
  for (size_t start = 0, end; start <= size; start = end + 1) {
    end = static_cast<size_t>(std::find(text + start, text + size, '\n') - text);
    std::wstring argument = FromBytes(text + start, end - start);
    arguments.push_back(argument.empty() || argument[0] == L'-' ? argument : L"-" + argument);
  }
  std::vector<wchar_t*> argv;
  for (std::wstring& argument : arguments) argv.push_back(argument.data());
  RestoreDefaultOptions();
  PatternList.clear();
  IncludeMode = false;
  HasHelpRequest(static_cast<int>(argv.size()), argv.data());
  if (!ParseCommandLine(static_cast<int>(argv.size()), argv.data()))
    return 0;
  DeriveSettings();
  for (const OptionEntry& option : OptionTable)
    if (!option.Numeric && option.Value != 0 && option.Value != 1)
      std::abort();  // a yes/no option holds yes or no, whatever was typed
  PathPassesFilter(L"src/dir/file.txt");
  return 0;
}
