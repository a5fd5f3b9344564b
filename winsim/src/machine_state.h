// Saving and loading the machine's lasting state (winsim::SaveMachine / LoadMachine). Each part of the
// machine writes and reads its own section, registered next to its reset:
//   const StateRegistrar kState("registry", 1, SaveRegistry, LoadRegistry);
// Save runs with the machine lock held. Load runs after Reset(), with the lock held, on a reader over
// the section's bytes; it returns false (or leaves the reader failed) on anything it cannot take, and
// must stay within the reader: the bytes come from a file anyone may have edited. What the host refuses
// while laying the part out (a full disk, a temporary folder it may not write) is FailHost: the state
// may be whole, so it is not called damaged.
// A part that adds fields bumps its version and reads the older layout too; a newer section than the
// part knows is refused as "written by another version".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace winsim::detail {

class StateWriter {
 public:
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) { Raw(v, 2); }
  void U32(uint32_t v) { Raw(v, 4); }
  void U64(uint64_t v) { Raw(v, 8); }
  void I32(int32_t v) { U32(uint32_t(v)); }
  void Bool(bool v) { U8(v ? 1 : 0); }
  void Bytes(const void* data, size_t size);  // length-prefixed (u64)
  void Bytes(const std::vector<uint8_t>& b) { Bytes(b.data(), b.size()); }
  void Str(std::u16string_view s);            // length-prefixed UTF-16 code units
  void Str8(std::string_view s);              // length-prefixed bytes
  void Append(const std::vector<uint8_t>& raw);  // as they are, no length
  std::vector<uint8_t>& Out() { return out_; }

 private:
  void Raw(uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(uint8_t(v >> (8 * i)));
  }
  std::vector<uint8_t> out_;
};

// Reads what StateWriter wrote. The first fault sticks: every later read returns zero or empty, and
// Error() says what went wrong and at which byte of the section.
class StateReader {
 public:
  StateReader(const uint8_t* data, size_t size) : p_(data), size_(size) {}
  uint8_t U8();
  uint16_t U16() { return uint16_t(Raw(2)); }
  uint32_t U32() { return uint32_t(Raw(4)); }
  uint64_t U64() { return Raw(8); }
  int32_t I32() { return int32_t(U32()); }
  bool Bool();
  std::vector<uint8_t> Bytes();
  std::u16string Str();
  std::string Str8();
  // A count of items that take at least `minItemBytes` each: refused when the rest cannot hold them.
  uint32_t Count(size_t minItemBytes);
  void Fail(const std::string& why);
  void FailHost(const std::string& why);
  bool Ok() const { return error_.empty(); }
  bool HostFault() const { return host_; }
  bool AtEnd() const { return at_ == size_; }
  const std::string& Error() const { return error_; }

 private:
  uint64_t Raw(int bytes);
  bool Need(size_t n);
  const uint8_t* p_;
  size_t size_, at_ = 0;
  std::string error_;
  bool host_ = false;
};

class StateRegistrar {
 public:
  using SaveFn = void (*)(StateWriter&);
  using LoadFn = bool (*)(StateReader&, uint32_t version);
  StateRegistrar(const char* name, uint32_t version, SaveFn save, LoadFn load);
};

}  // namespace winsim::detail
