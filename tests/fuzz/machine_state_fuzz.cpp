// Fuzz target: a saved machine as lbl reads it from its state folder, which anyone may edit. Half of
// the runs re-seal the input's checksum first, so that changed bytes reach the parts' readers rather
// than stopping at the checksum. Whatever loads must save and load again to the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/winsim/state_seal.h"
#include "winsim/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> state(data, data + size);
  if (size > 12 && (data[size / 2] & 1)) statetest::Reseal(&state);
  std::string error;
  if (winsim::LoadMachine(state, &error)) {
    const std::vector<uint8_t> saved = winsim::SaveMachine();
    if (!winsim::LoadMachine(saved, &error) || winsim::SaveMachine() != saved) {
      std::fprintf(stderr, "a loaded machine does not load back the same: %s\n", error.c_str());
      std::abort();
    }
  } else if (error.empty()) {
    std::fprintf(stderr, "a refused state gave no reason\n");
    std::abort();
  }
  return 0;
}
