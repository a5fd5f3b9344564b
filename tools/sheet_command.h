// lbl sheet: the driver's document or device property sheet opened on the simulated machine, driven by
// scripted actions as a person would click through it, then closed with OK.
#pragma once

#include <string>
#include <vector>

#include "tools/command_help.h"

namespace lbl {

CommandSpec SheetCommand();

// One scripted action: `page=106`, `type=1020:7.25`, `press=apply`, ...
struct SheetAction {
  std::string verb;
  int id = 0;             // the control, page or dialog the action names
  std::string value;      // after the second ':' or the whole value for verbs without an id
  std::string text;       // the action as given, for messages
};

// Parses "VERB=ARGS" as the option table documents; false with a message for an unknown verb or a
// malformed argument.
bool ParseSheetAction(const std::string& text, SheetAction* out, std::string* error);

int RunSheet(const std::vector<std::string>& args);

}  // namespace lbl
