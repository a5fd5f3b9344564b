// The user's simulated machine, kept in a state folder between lbl commands: what one command changes
// (stocks, installed printers, preferences, firmware) is there for the next.
//
// The folder is --state DIR, else $LBL_STATE_DIR, else $XDG_STATE_HOME/lbl, else ~/.local/state/lbl. It
// holds "machine.lblstate" (winsim::SaveMachine's bytes) and "lock". A command that uses the machine
// takes the lock for its whole run (another lbl on the same folder waits), loads the machine (a folder
// without one is a freshly installed machine with the embedded default printer) and, when the command
// changed it, writes a new file beside the old one and renames it over it, so that a crash or Ctrl-C
// leaves the previous state whole.
#pragma once

#include <string>
#include <vector>

#include "tools/command_help.h"

namespace lbl {

constexpr const char* kStateFileName = "machine.lblstate";

// Removes "--state DIR" (or "--state=DIR") from the command line, wherever it stands. 0 when absent or
// valid; otherwise the usage error's exit status.
int TakeStateOption(std::vector<std::string>* args);

// The state folder this command uses.
std::string StateFolder();

// Locks the state folder and loads its machine (or builds the fresh one). Once per process: later
// calls answer as the first. False with a message naming the file when it cannot be read, is damaged
// or was written by another version.
bool OpenState(std::string* error);

// After the command: saves the machine when it differs from what was loaded (or was built fresh) and
// releases the lock. Returns `status`, or 1 when the save failed (message on stderr).
int CloseState(int status);

CommandSpec PrintersCommand();
CommandSpec ResetCommand();

}  // namespace lbl
