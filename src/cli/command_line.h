// The command line: the help scan and the parse into the option table, the pattern list and
// the two root directories.
#pragma once

#include "platform/system.h"

// The two directory arguments as typed (null until given).
extern const wchar_t* SourceArgument;
extern const wchar_t* DestinationArgument;

// True when an argument from 1 on is a help spelling ("-?", "-h", "--help", "/?", any case).
bool HasHelpRequest(int argc, wchar_t** argv);
// True when an argument from 1 on is "--version".
bool HasVersionRequest(int argc, wchar_t** argv);
// Parses arguments 1 to argc - 1. Writes one error message and returns false at the first bad
// argument. Writes the terminator over the first "=" of each option argument.
bool ParseCommandLine(int argc, wchar_t** argv);
// Sets a row's value from the text after "=" (null when the option has none). False, with the
// row unchanged, for a yes/no value other than y, Y, 1, n, N, 0 or the empty one.
bool ApplyOptionValue(int row, const wchar_t* value);
