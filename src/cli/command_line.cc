#include "cli/command_line.h"

#include <climits>

#include "settings/options.h"
#include "output/console.h"
#include "scan/filter.h"
#include "scan/path_text.h"

const wchar_t* SourceArgument = nullptr;
const wchar_t* DestinationArgument = nullptr;

bool HasHelpRequest(int argc, wchar_t** argv) {
  static const wchar_t* const kHelpSpellings[] = {L"-?", L"-h", L"--help", L"/?"};
  for (int i = 1; i < argc; i++) {
    for (const wchar_t* spelling : kHelpSpellings) {
      if (CompareIgnoringCase(argv[i], spelling) == 0)
        return true;
    }
  }
  return false;
}

bool HasVersionRequest(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; i++) {
    if (wcscmp(argv[i], L"--version") == 0)
      return true;
  }
  return false;
}

namespace {
// Optional white space, an optional sign, then decimal digits up to the first other character;
// no digits gives 0. A value beyond 32 bits saturates at INT_MIN or INT_MAX.
int ParseNumber(const wchar_t* text) {
  while (*text == L' ' || (*text >= L'\t' && *text <= L'\r')) text++;
  bool negative = false;
  if (*text == L'+' || *text == L'-')
    negative = *text++ == L'-';
  long long value = 0;
  for (; *text >= L'0' && *text <= L'9'; text++) {
    value = value * 10 + (*text - L'0');
    if (value > static_cast<long long>(INT_MAX) + 1)
      value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative)
    return static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}
}  // namespace

bool ApplyOptionValue(int row, const wchar_t* value) {
  OptionEntry& option = OptionTable[row];
  if (!option.Numeric) {
    // No value means yes; an empty value keeps the choice already made.
    if (value == nullptr || value[0] == 0) {
      if (value == nullptr)
        option.Value = 1;
      return true;
    }
    if (value[1] != 0)
      return false;
    if (wcschr(L"yY1", value[0]) != nullptr)
      option.Value = 1;
    else if (wcschr(L"nN0", value[0]) != nullptr)
      option.Value = 0;
    else
      return false;
    return true;
  }
  if (value == nullptr || wcscmp(value, L"y") == 0)
    return true;
  option.Value = ParseNumber(value);
  return true;
}

namespace {

// A directory argument: the source first, then the destination.
bool TakeDirectory(wchar_t* argument) {
  const wchar_t** target;
  const wchar_t* role;
  if (SourceArgument == nullptr) {
    target = &SourceArgument, role = L"source";
  } else if (DestinationArgument == nullptr) {
    target = &DestinationArgument, role = L"destination";
  } else {
    WriteError(L"Error: too many directories specified: `%s'\n", argument);
    return false;
  }
  if (wcslen(argument) > PathTextLimit()) {
    WriteError(L"Error: %s directory is too long: `%s'\n", role, argument);
    return false;
  }
  if (!IsDirectoryPath(argument)) {
    WriteError(L"Error: invalid %s directory: `%s'\n", role, argument);
    return false;
  }
  *target = argument;
  return true;
}

bool TakeOption(wchar_t* argument) {
  bool longForm = argument[1] == L'-';
  wchar_t* name = argument + (longForm ? 2 : 1);
  wchar_t* equals = wcschr(name, L'=');
  const wchar_t* value = nullptr;
  if (equals != nullptr) {
    *equals = 0;
    value = equals + 1;
  }
  for (int row = 0; row < kOptionCount; row++) {
    if (wcscmp(name, longForm ? OptionTable[row].LongName : OptionTable[row].ShortName) == 0) {
      if (ApplyOptionValue(row, value))
        return true;
      *equals = L'=';  // the whole argument as typed
      WriteError(L"Error: invalid value: `%s'.\n", argument);
      return false;
    }
  }
  bool include = wcscmp(name, longForm ? L"include" : L"i") == 0;
  bool exclude = wcscmp(name, longForm ? L"exclude" : L"x") == 0;
  if (!include && !exclude) {
    WriteError(L"Error: unknown option: `%s'.\n", argument);
    return false;
  }
  if (!PatternList.empty() && include != IncludeMode) {
    WriteError(L"Error: impossible to use both --exclude and --include options: `%s'.\n", argument);
    return false;
  }
  IncludeMode = include;
  if (value != nullptr)
    PatternList.push_back(value);
  return true;
}

}  // namespace

bool ParseCommandLine(int argc, wchar_t** argv) {
  // long-paths first, wherever it stands: the directories' length limit depends on it.
  for (int i = 1; i < argc; i++) {
    for (const wchar_t* spelling : {L"-lp", L"--long-paths"}) {
      size_t length = wcslen(spelling);
      if (wcsncmp(argv[i], spelling, length) == 0 &&
          (argv[i][length] == 0 || argv[i][length] == L'='))
        ApplyOptionValue(kLongPaths, argv[i][length] == 0 ? nullptr : argv[i] + length + 1);
    }
  }
  for (int i = 1; i < argc; i++) {
    wchar_t* argument = argv[i];
    if (argument[0] == 0)
      continue;
    if (!(argument[0] == L'-' ? TakeOption(argument) : TakeDirectory(argument)))
      return false;
  }
  return true;
}
