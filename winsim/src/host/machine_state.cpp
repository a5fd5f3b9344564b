// The machine's lasting state as one byte image: a header, one section per part of the machine, and a
// CRC-32 over everything before it.
//
//   "WINSIMST"  magic, 8 bytes
//   u32         format (kMachineStateFormat)
//   u32         section count
//   per section: name (u64 length + bytes), u32 the part's version, payload (u64 length + bytes)
//   u32         CRC-32 (IEEE) of all bytes before it
//
// Numbers are little-endian. Sections are written in name order, so the same machine gives the same bytes.
#include "machine_state.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "internal.h"

using namespace winsim::detail;

namespace {

constexpr char kMagic[8] = {'W', 'I', 'N', 'S', 'I', 'M', 'S', 'T'};

struct Part {
  uint32_t version;
  StateRegistrar::SaveFn save;
  StateRegistrar::LoadFn load;
};

std::map<std::string, Part>& Parts() {
  static auto* parts = new std::map<std::string, Part>;
  return *parts;
}

uint32_t Crc32(const uint8_t* p, size_t n) {
  static const auto table = [] {
    std::vector<uint32_t> t(256);
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace

namespace winsim::detail {

void StateWriter::Bytes(const void* data, size_t size) {
  U64(size);
  const size_t at = out_.size();
  out_.resize(at + size);
  if (size) std::memcpy(out_.data() + at, data, size);
}

void StateWriter::Append(const std::vector<uint8_t>& raw) {
  const size_t at = out_.size();
  out_.resize(at + raw.size());
  if (!raw.empty()) std::memcpy(out_.data() + at, raw.data(), raw.size());
}

void StateWriter::Str(std::u16string_view s) {
  U64(s.size());
  for (char16_t c : s) U16(c);
}

void StateWriter::Str8(std::string_view s) { Bytes(s.data(), s.size()); }

void StateReader::Fail(const std::string& why) {
  if (error_.empty()) error_ = why + " (at byte " + std::to_string(at_) + " of the section)";
}

void StateReader::FailHost(const std::string& why) {
  if (error_.empty()) {
    error_ = why;
    host_ = true;
  }
}

bool StateReader::Need(size_t n) {
  if (!error_.empty()) return false;
  if (size_ - at_ < n) {
    Fail("ends early");
    return false;
  }
  return true;
}

uint64_t StateReader::Raw(int bytes) {
  if (!Need(size_t(bytes))) return 0;
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint64_t(p_[at_ + size_t(i)]) << (8 * i);
  at_ += size_t(bytes);
  return v;
}

uint8_t StateReader::U8() { return uint8_t(Raw(1)); }

bool StateReader::Bool() {
  const uint8_t v = U8();
  if (v > 1) Fail("a yes/no value is " + std::to_string(v));
  return v == 1;
}

std::vector<uint8_t> StateReader::Bytes() {
  const uint64_t n = U64();
  if (!Need(n)) return {};
  std::vector<uint8_t> out(p_ + at_, p_ + at_ + n);
  at_ += n;
  return out;
}

std::u16string StateReader::Str() {
  const uint64_t n = U64();
  if (n > (size_ - at_) / 2) {
    Fail("a text is longer than the section");
    return {};
  }
  std::u16string s(n, u'\0');
  for (auto& c : s) c = char16_t(U16());
  return Ok() ? s : std::u16string();
}

std::string StateReader::Str8() {
  auto b = Bytes();
  return std::string(b.begin(), b.end());
}

uint32_t StateReader::Count(size_t minItemBytes) {
  const uint32_t n = U32();
  if (Ok() && minItemBytes && n > (size_ - at_) / minItemBytes) {
    Fail("a list of " + std::to_string(n) + " items does not fit in the section");
    return 0;
  }
  return Ok() ? n : 0;
}

StateRegistrar::StateRegistrar(const char* name, uint32_t version, SaveFn save, LoadFn load) {
  Parts()[name] = Part{version, save, load};
}

}  // namespace winsim::detail

namespace winsim {

std::vector<uint8_t> SaveMachine() {
  StateWriter w;
  for (char c : kMagic) w.U8(uint8_t(c));
  w.U32(kMachineStateFormat);
  {
    Guard g(Mutex());
    w.U32(uint32_t(Parts().size()));
    for (const auto& [name, part] : Parts()) {
      StateWriter section;
      part.save(section);
      w.Str8(name);
      w.U32(part.version);
      w.Bytes(section.Out());
    }
  }
  w.U32(Crc32(w.Out().data(), w.Out().size()));
  return std::move(w.Out());
}

bool LoadMachine(const std::vector<uint8_t>& state, std::string* error, bool* hostFault) {
  std::string why;
  bool host = false;
  auto fail = [&](std::string message) {
    why = std::move(message);
    return false;
  };
  auto check = [&]() -> bool {
    if (state.size() < sizeof kMagic + 12 || std::memcmp(state.data(), kMagic, sizeof kMagic) != 0)
      return fail("not a saved machine (no header)");
    StateReader head(state.data() + sizeof kMagic, state.size() - sizeof kMagic - 4);
    const uint32_t format = head.U32();
    if (format != kMachineStateFormat)
      return fail(std::string("written by ") + (format > kMachineStateFormat ? "a newer" : "another") +
                  " version (state format " + std::to_string(format) + "; this one reads format " +
                  std::to_string(kMachineStateFormat) + ")");
    const size_t body = state.size() - 4;
    const uint32_t stored = uint32_t(state[body]) | uint32_t(state[body + 1]) << 8 | uint32_t(state[body + 2]) << 16 |
                            uint32_t(state[body + 3]) << 24;
    if (Crc32(state.data(), body) != stored) return fail("damaged (its checksum does not match its contents)");
    return true;
  };
  bool ok = check();
  if (ok) {
    Reset();
    Guard g(Mutex());
    StateReader r(state.data() + sizeof kMagic + 4, state.size() - sizeof kMagic - 8);
    const uint32_t sections = r.Count(20);
    std::map<std::string, bool> seen;
    for (uint32_t i = 0; ok && i < sections && r.Ok(); ++i) {
      const std::string name = r.Str8();
      const uint32_t version = r.U32();
      const std::vector<uint8_t> payload = r.Bytes();
      if (!r.Ok()) break;
      auto it = Parts().find(name);
      if (it == Parts().end()) {
        ok = fail("written by another version (it has a part \"" + name + "\" this one does not know)");
      } else if (version > it->second.version || version == 0) {
        ok = fail(std::string("written by ") + (version > it->second.version ? "a newer" : "another") +
                  " version (part \"" + name + "\" version " + std::to_string(version) + "; this one reads up to " +
                  std::to_string(it->second.version) + ")");
      } else if (seen[name]) {
        ok = fail("damaged (part \"" + name + "\" appears twice)");
      } else {
        seen[name] = true;
        StateReader part(payload.data(), payload.size());
        const bool taken = it->second.load(part, version);
        if (part.HostFault()) {
          host = true;
          ok = fail("part \"" + name + "\": " + part.Error());
        } else if (!taken || !part.Ok() || !part.AtEnd()) {
          ok = fail("damaged: part \"" + name + "\": " +
                    (!part.Ok() ? part.Error() : !taken ? std::string("its contents are not valid")
                                                        : std::string("has bytes after its end")));
        }
      }
    }
    if (ok && (!r.Ok() || !r.AtEnd())) ok = fail("damaged: " + (r.Ok() ? "bytes after the last part" : r.Error()));
  }
  if (!ok) {
    Reset();
    if (error) *error = why;
  }
  if (hostFault) *hostFault = !ok && host;
  return ok;
}

}  // namespace winsim
