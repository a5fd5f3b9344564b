// What the lbl commands tell about themselves: one option table per command, from which the
// `lbl help COMMAND` page and the bash completion are both made, so neither can drift from the other.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lbl {

struct OptionSpec {
  const char* name;   // "--paper", "-o"
  const char* value;  // "NAME"; nullptr for a flag
  const char* help;   // one or more lines; later lines are indented by the formatter
  // What the shell offers for the value: space-separated words, "@file", "@dir", "@models", or "".
  const char* complete = "";
};

struct CommandSpec {
  const char* name;
  const char* summary;      // one line for `lbl help`
  const char* synopsis;     // after "lbl "
  const char* description;  // paragraphs
  std::vector<OptionSpec> options;
  const char* exitStatus;   // lines "N  meaning"
  const char* example;      // lines of shell
  const char* operands;     // what the shell offers for non-option words: "@file", "@models", "@commands", or ""
  std::function<int(const std::vector<std::string>&)> run;
};

// The man-style page: NAME, SYNOPSIS, DESCRIPTION, OPTIONS, EXIT STATUS, EXAMPLE.
std::string CommandPage(const CommandSpec& command);

// A bash completion script for `lbl` with every command and its options.
std::string BashCompletion(const std::vector<CommandSpec>& commands);

// The options of a table as help lines ("  --paper NAME   ...").
std::string OptionLines(const std::vector<OptionSpec>& options);

}  // namespace lbl
