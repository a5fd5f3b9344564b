#include "ipp/machine.h"

#include "winsim/machine.h"

namespace lblipp {

namespace {

std::mutex g_snapshotMutex;
std::shared_ptr<const std::vector<uint8_t>> g_snapshot;

}  // namespace

std::mutex& MachineMutex() {
  static std::mutex m;
  return m;
}

void SetMachineSnapshot(std::shared_ptr<const std::vector<uint8_t>> state) {
  std::lock_guard<std::mutex> g(g_snapshotMutex);
  g_snapshot = std::move(state);
}

std::shared_ptr<const std::vector<uint8_t>> MachineSnapshot() {
  std::lock_guard<std::mutex> g(g_snapshotMutex);
  return g_snapshot;
}

bool LoadMachineSnapshot(std::string* error) {
  const auto state = MachineSnapshot();
  if (!state) {
    *error = "the server has not loaded the state folder's machine";
    return false;
  }
  std::string why;
  if (!winsim::LoadMachine(*state, &why)) {
    *error = "the state's machine does not load: " + why;
    return false;
  }
  return true;
}

}  // namespace lblipp
