// The tool's edge with the operating system's text: its arguments as
// UTF-8, the Windows console, and the names of files and directories.
// Everything else in the tool is the same on every platform.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "text/encoding.h"

namespace addrbook {

// The command line.  On Windows it is read as UTF-16 (GetCommandLineW,
// CommandLineToArgvW) and given as UTF-8, so that no character reaches the
// tool mapped to a "best fit" of the ANSI code page; elsewhere it is argv
// in the locale's encoding.
std::vector<std::string> CommandLine(int argc, char** argv);
// True when CommandLine gives UTF-8 whatever the locale (Windows).
bool CommandLineIsUtf8();

// On Windows, when standard output or standard error is a console, what
// the tool writes to it goes through WriteConsoleW; true when standard
// output is such a console.  Standard input and a standard output that is
// not a console are binary: bytes go through as the tool wrote them, as on
// POSIX.  False elsewhere.
bool WriteToConsole();
// The encoding of the text the tool writes to a console (UTF-8 unless the
// output's encoding is another); nothing elsewhere.
void ConsoleTextIs(Encoding encoding);

// An environment variable as the platform's shell names it in help:
// "%ADDRBOOK_DIR%" on Windows, "$ADDRBOOK_DIR" elsewhere.
std::string VariableName(const std::string& name);

// A file name given as UTF-8 (on Windows; elsewhere in the locale's
// encoding), for opening.
std::filesystem::path FilePath(const std::string& name);

// The name of a directory as the library takes it.  On Windows its API
// takes names in the ANSI code page: the name converted without "best
// fit", else the directory's short (8.3) name; nullopt (with `why`) when
// it has neither.  Elsewhere the name as it is.
std::optional<std::string> LibraryPath(const std::string& name, std::string* why);

// Keeps the memory of large buffers that a command frees (a file read
// whole, the rows made of it) for its next ones instead of handing it
// back to the system: a command runs briefly, and each page the system
// hands out anew costs more than the memory kept (with the GNU C library;
// elsewhere nothing changes).
void KeepFreedMemory();

// Readies about `bytes` of memory for the allocations that follow: the
// system hands out pages faster many at once than one at a time as each
// is first touched (Linux; elsewhere nothing happens).
void ReadyMemory(size_t bytes);

}  // namespace addrbook
