// Fuzz target: the IEEE 1284 device ID reply of a USB printer, as any device may answer it, and the
// device path check that picks the printer. The reply is the input itself, without a terminator, so
// that a read past the bytes returned is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/usbport.h"

namespace {

// A value as the parser must give it: inside its field, without the ';' that ends it, and taken
// from the reply right after its key.
void CheckValue(const char* value, const uint8_t* data, size_t size, const char* key) {
  const size_t n = strnlen(value, kDeviceIdFieldChars);
  if (n >= kDeviceIdFieldChars || memchr(value, ';', n)) abort();
  const size_t keyLen = strlen(key);
  for (size_t i = 0; i + keyLen + n <= size; ++i)
    if (memcmp(data + i, key, keyLen) == 0 && memcmp(data + i + keyLen, value, n) == 0) return;
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* reply = reinterpret_cast<const char*>(data);
  char model[kDeviceIdFieldChars], commandSet[kDeviceIdFieldChars];
  memset(model, 0xA5, sizeof model);
  memset(commandSet, 0xA5, sizeof commandSet);
  if (ParseDeviceId(reply, size, model, commandSet)) {
    CheckValue(model, data, size, "MDL:");
    CheckValue(commandSet, data, size, "CMD:");
    // The correction only ever chooses among the four languages and feed offsets it knows.
    PrinterDevmode dm{};
    dm.PrintLanguage = size > 0 ? data[0] % 4 : 0;
    ApplyDeviceId(model, commandSet, &dm);
    if (dm.PrintLanguage > kLangZpl) abort();
    if (dm.PrintLanguage == kLangTwl && strcmp(commandSet, "TWL") != 0) abort();
    if (dm.FeedOffset != 0 && dm.FeedOffset != 27000) abort();
  } else if (model[0] != 0 || commandSet[0] != 0) {
    abort();
  }

  // The same bytes as a device path of 16-bit characters, exactly as long as the input holds.
  std::vector<WCHAR> path(size / sizeof(WCHAR));
  if (!path.empty()) memcpy(path.data(), data, path.size() * sizeof(WCHAR));
  const bool recognised = IsRecognisedUsbVendor(path.empty() ? nullptr : path.data(), path.size());
  if (recognised && path.size() < 16) abort();
  return 0;
}
