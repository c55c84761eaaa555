// addrbook: a command-line address book over the ovel library.  Uses only
// the public header and the shared library, as any caller would.  This
// file reads the command line through the table of commands and runs the
// one it names.
#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "text/platform_text.h"

using namespace addrbook;

namespace {

// The settings the global options and the environment give; false
// (reported) when the book's encoding is none the tool knows.
bool FindSettings(const CLI::App& app, std::string encodingName, bool utf8Output, bool console,
                  Settings* settings) {
  // The book's encoding: --encoding, else $ADDRBOOK_ENCODING, else the
  // one its text is in (FindBookEncoding, once it is open).
  const char* encodingFromEnvironment = std::getenv("ADDRBOOK_ENCODING");
  settings->encodingGiven = app.count("--encoding") > 0;
  if (!app.count("--encoding") && encodingFromEnvironment && *encodingFromEnvironment) {
    encodingName = encodingFromEnvironment;
    settings->encodingGiven = true;
  }
  std::optional<Encoding> encoding = ParseEncoding(encodingName);
  if (!encoding) {
    std::cerr << "addrbook: unknown encoding '" << encodingName << "' (cp1252, latin1, utf8)\n";
    return false;
  }
  settings->encoding = *encoding;
  settings->locale = CommandLineIsUtf8() ? LocaleEncoding::kUtf8 : TerminalEncoding();
  settings->output =
      utf8Output || console ? LocaleEncoding::kUtf8 : OutputEncoding(TerminalEncoding());
  return true;
}

// The book in the settings' directory, opened; null (reported) when it
// cannot be.
std::unique_ptr<BookAccess> OpenBook(Settings* settings) {
  if (settings->directory.empty()) {
    const char* fromEnvironment = std::getenv("ADDRBOOK_DIR");
    settings->directory = fromEnvironment && *fromEnvironment ? fromEnvironment : ".";
  }
  auto book = std::make_unique<BookAccess>(ArgumentText(*settings, settings->directory));
  OutputOptions shown = Shown(*settings);
  book->SetMessageEncoding(shown.utf8, static_cast<int>(shown.display));
  ConsoleTextIs(shown.utf8 ? Encoding::kUtf8 : shown.display);
  std::error_code ignored;
  std::filesystem::path directory = FilePath(settings->directory);
  std::string why;
  if (!std::filesystem::exists(directory, ignored)) {
    why = "no such directory";
  } else if (!std::filesystem::is_directory(directory, ignored)) {
    why = "not a directory";
  } else if (std::optional<std::string> path = LibraryPath(settings->directory, &why)) {
    book->SetLibraryPath(*path);
    return book->Open() && FindBookEncoding(*book, settings) ? std::move(book) : nullptr;
  }
  book->Fail(why);
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();
  // The arguments as UTF-8 on Windows (from the wide command line), and
  // the console written in UTF-16; elsewhere argv in the locale's encoding.
  std::vector<std::string> arguments = CommandLine(argc, argv);
  bool console = WriteToConsole();
  CLI::App app{"addrbook: keep an address book (ADDRBOOK.DAT) in a directory", "addrbook"};
  app.set_version_flag("--version", ADDRBOOK_VERSION);
  app.require_subcommand(1);
  // A file named "/tmp/x.csv" is a file, not an option, on Windows too.
  app.allow_windows_style_options(false);
  Settings settings;
  std::string encodingName = "cp1252";
  app.add_option("-d,--directory", settings.directory,
                 "Directory of the book (default: " + VariableName("ADDRBOOK_DIR") +
                     ", else the current directory)");
  app.add_option("--encoding", encodingName,
                 "Encoding of the book's text (default: " + VariableName("ADDRBOOK_ENCODING") +
                     ", else the one its text is in: utf8 or cp1252)")
      ->check(CLI::IsMember({"cp1252", "latin1", "utf8"}));
  Arguments given;
  for (const Command& command : Commands()) {
    command.declare(app.add_subcommand(command.name, command.help), given);
  }
  bool utf8Output = false;
  app.add_flag("--utf8", utf8Output,
               "Write tables and messages in UTF-8 whatever the locale (or Windows code page)");
  try {
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    app.parse(static_cast<int>(pointers.size()), pointers.data());
  } catch (const CLI::ParseError& error) {
    if (std::string mistyped = Mistyped(app); !mistyped.empty()) {
      std::cerr << "addrbook: " << mistyped << "\n";
      return 2;
    }
    return app.exit(error) == 0 ? 0 : 2;
  }
  if (!FindSettings(app, encodingName, utf8Output, console, &settings)) return 2;
  for (const Command& command : Commands()) {
    if (!app.got_subcommand(command.name)) continue;
    if (std::string misuse = command.misuse(given); !misuse.empty()) {
      std::cerr << "addrbook: " << misuse << "\n";
      return 2;
    }
    std::unique_ptr<BookAccess> book = OpenBook(&settings);
    return book ? command.run(*book, settings, given) : 1;
  }
  return 2;
}
