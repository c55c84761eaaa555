// What the command line got wrong, said so that the user can put it
// right: the close match that was probably meant.
#include <CLI/CLI.hpp>

#include "commands/commands.h"
#include "text/suggestion.h"

namespace addrbook {
namespace {

// The options `app` takes, as they are typed.
void AddOptionNames(const CLI::App& app, std::vector<std::string>* names) {
  for (const CLI::Option* option : app.get_options()) {
    for (const std::string& name : option->get_lnames()) names->push_back("--" + name);
  }
}

}  // namespace

std::string CommandNames() {
  std::string names;
  for (bool forPrograms : {false, true}) {
    for (const Command& command : Commands()) {
      if (command.forPrograms != forPrograms || !*command.help) continue;
      names += std::string(names.empty() ? "" : ", ") + command.name;
    }
  }
  return names;
}

// The first option neither the command given nor the tool takes, else the
// first word that is no command (or that the command given does not take).
std::string Mistyped(const CLI::App& app) {
  std::vector<std::string> left = app.remaining(true), options, commands;
  AddOptionNames(app, &options);
  std::string given;
  for (const CLI::App* command : app.get_subcommands()) {
    AddOptionNames(*command, &options);
    given = command->get_name();
  }
  for (const Command& command : Commands()) commands.push_back(command.name);
  auto meant = [](const std::string& word, const std::vector<std::string>& names) {
    std::string closest = ClosestWord(word.substr(0, word.find('=')), names);
    return closest.empty() ? std::string() : "; did you mean " + closest + "?";
  };
  for (const std::string& word : left) {
    if (word.size() > 1 && word[0] == '-') {
      if (ClosestWord(word, options) == word) {
        return "the option " + word + " goes before the command: addrbook " + word + " " + given;
      }
      return "unknown option '" + word + "'" + (given.empty() ? "" : " for " + given) +
             meant(word, options) + " (addrbook " + (given.empty() ? "" : given + " ") +
             "--help lists them)";
    }
  }
  for (const std::string& word : left) {
    if (!given.empty()) return given + " takes no argument '" + word + "' there";
    return "unknown command '" + word + "'" + meant(word, commands) +
           " (commands: " + CommandNames() + ")";
  }
  return "";
}

}  // namespace addrbook
