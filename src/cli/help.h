// The help screen.
#pragma once

extern const char HelpText[];

// Writes the help screen to the standard output with one write, in the console code page under
// log-oem and as UTF-16LE otherwise.
void PrintHelp();
// The help screen's first line alone: the program's name and version.
void PrintVersion();
