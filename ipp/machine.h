// The one simulated Windows machine of a process renders every job of `lbl serve`: whoever installs a
// printer on it, runs a job or reads a printer through it holds this lock for the whole of it.
//
// The server's jobs run on the machine of the state folder as it was last saved (the snapshot): each
// job loads it afresh, so that a job leaves nothing behind for the next and prints as `lbl print
// --printer NAME` prints on the same state.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lblipp {

std::mutex& MachineMutex();

// The saved machine the server's jobs run on (SaveMachine's bytes); null: none (jobs of a printer
// without a name then install their model on a machine of their own).
void SetMachineSnapshot(std::shared_ptr<const std::vector<uint8_t>> state);
std::shared_ptr<const std::vector<uint8_t>> MachineSnapshot();
// Holding MachineMutex: the machine becomes the snapshot again. False with a message when there is
// none or it does not load.
bool LoadMachineSnapshot(std::string* error);

}  // namespace lblipp
