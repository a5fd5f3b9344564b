// System information, version checks, moves with flags (deletions postponed to the next restart) and
// profile (INI-format) files such as INFs.
#include <cstring>
#include <vector>

#include "internal.h"
#include "machine_state.h"
#include "winsim/spooler.h"

using namespace winsim::detail;

namespace {

struct SysInfo {
  WORD architecture = PROCESSOR_ARCHITECTURE_AMD64;
  DWORD major = 10, minor = 0;
  WORD servicePackMajor = 0;
  std::vector<winsim::PendingFileOperation> pending;
};

SysInfo& I() { return Lasting<SysInfo>(); }

void ResetSysInfo() { I() = SysInfo{}; }
const ResetRegistrar kResetSysInfo(ResetSysInfo);

void SaveSysInfo(StateWriter& w) {
  w.U16(I().architecture);
  w.U32(I().major);
  w.U32(I().minor);
  w.U16(I().servicePackMajor);
  w.U32(uint32_t(I().pending.size()));
  for (const auto& op : I().pending) {
    w.Str(op.from);
    w.Str(op.to);
  }
}

bool LoadSysInfo(StateReader& r, uint32_t) {
  I().architecture = r.U16();
  I().major = r.U32();
  I().minor = r.U32();
  I().servicePackMajor = r.U16();
  for (uint32_t i = 0, n = r.Count(16); i < n && r.Ok(); ++i) {
    winsim::PendingFileOperation op;
    op.from = r.Str();
    op.to = r.Str();
    I().pending.push_back(std::move(op));
  }
  return r.Ok();
}
const StateRegistrar kSysInfoState("system", 1, SaveSysInfo, LoadSysInfo);

UINT CopyPath(const std::u16string& s, LPWSTR buf, UINT size) {
  if (!buf || size < s.size() + 1) return UINT(s.size() + 1);
  std::memcpy(buf, s.c_str(), (s.size() + 1) * 2);
  return UINT(s.size());
}

bool Compare(DWORD have, DWORD want, BYTE cond) {
  switch (cond) {
    case VER_EQUAL: return have == want;
    case VER_GREATER: return have > want;
    case VER_GREATER_EQUAL: return have >= want;
    case VER_LESS: return have < want;
    case VER_LESS_EQUAL: return have <= want;
    default: return false;
  }
}

// The profile file as lines; UTF-16 LE with a byte-order mark or 8-bit text.
std::vector<std::u16string> ProfileLines(LPCWSTR file) {
  std::vector<uint8_t> bytes = winsim::ReadHostFile(Wide(file));
  std::u16string text;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(char16_t(bytes[i] | bytes[i + 1] << 8));
  } else {
    size_t start = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    text = FromUtf8(std::string(bytes.begin() + long(start), bytes.end()));
  }
  std::vector<std::u16string> lines;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(u'\n', pos);
    if (end == std::u16string::npos) end = text.size();
    std::u16string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    lines.push_back(line);
    pos = end + 1;
  }
  return lines;
}

std::u16string Trim(const std::u16string& s) {
  size_t b = s.find_first_not_of(u" \t"), e = s.find_last_not_of(u" \t");
  return b == std::u16string::npos ? std::u16string() : s.substr(b, e - b + 1);
}

// Copies `s` (or a NUL-separated list ending in an empty entry when `list`) into the caller's buffer,
// truncating as GetPrivateProfileStringW does; returns the characters copied without the final NUL.
DWORD Answer(const std::u16string& s, LPWSTR out, DWORD size, bool list) {
  if (!out || size == 0) return 0;
  if (!list) {
    DWORD n = DWORD(s.size()) < size - 1 ? DWORD(s.size()) : size - 1;
    std::memcpy(out, s.data(), n * 2);
    out[n] = 0;
    return n;
  }
  if (size < 2) {
    out[0] = 0;
    return 0;
  }
  if (s.size() + 1 <= size) {
    std::memcpy(out, s.data(), s.size() * 2);
    out[s.size()] = 0;
    return DWORD(s.size() ? s.size() - 1 : 0);
  }
  std::memcpy(out, s.data(), (size - 2) * 2);
  out[size - 2] = 0;
  out[size - 1] = 0;
  return size - 2;
}

}  // namespace

namespace winsim {

std::vector<PendingFileOperation> PendingFileOperations() { return CopyLocked(I().pending); }

void ApplyPendingFileOperations() {
  std::vector<PendingFileOperation> ops;
  {
    Guard g(Mutex());
    ops.swap(I().pending);
  }
  for (const auto& op : ops) {
    if (op.to.empty()) DeleteFileW(reinterpret_cast<LPCWSTR>(op.from.c_str()));
    else MoveFileW(reinterpret_cast<LPCWSTR>(op.from.c_str()), reinterpret_cast<LPCWSTR>(op.to.c_str()));
  }
}

void SetNativeArchitecture(WORD architecture) {
  Guard g(Mutex());
  I().architecture = architecture;
}

void SetWindowsVersion(DWORD major, DWORD minor, WORD servicePackMajor) {
  Guard g(Mutex());
  I().major = major;
  I().minor = minor;
  I().servicePackMajor = servicePackMajor;
}

uint16_t Crc16Arc(const std::string& text) {
  uint16_t crc = 0;
  for (unsigned char c : text) {
    crc ^= c;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
  }
  return crc;
}

}  // namespace winsim

extern "C" {

void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info) {
  if (!info) return;
  Guard g(Mutex());
  std::memset(info, 0, sizeof *info);
  info->wProcessorArchitecture = I().architecture;
  info->dwPageSize = 4096;
  info->dwNumberOfProcessors = 2;
  info->dwAllocationGranularity = 65536;
}

UINT WINAPI GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) { return CopyPath(u"C:\\Windows", lpBuffer, uSize); }

UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  return CopyPath(u"C:\\Windows\\System32", lpBuffer, uSize);
}

// Three bits of condition per type, at the type's bit position times three, as Windows packs them.
ULONGLONG WINAPI VerSetConditionMask(ULONGLONG mask, DWORD type, BYTE cond) {
  for (int bit = 0; bit < 8; ++bit)
    if (type & (1u << bit)) mask |= ULONGLONG(cond & 7) << (bit * 3);
  return mask;
}

BOOL WINAPI VerifyVersionInfoW(LPOSVERSIONINFOEXW v, DWORD typeMask, DWORDLONG conditions) {
  if (!v || !typeMask) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Guard g(Mutex());
  auto cond = [conditions](int bit) { return BYTE((conditions >> (bit * 3)) & 7); };
  // Major, minor and service pack compare as one version when they share the same condition.
  bool ok = true;
  const DWORD have[3] = {I().major, I().minor, I().servicePackMajor};
  const DWORD want[3] = {v->dwMajorVersion, v->dwMinorVersion, v->wServicePackMajor};
  const DWORD types[3] = {VER_MAJORVERSION, VER_MINORVERSION, VER_SERVICEPACKMAJOR};
  const int bits[3] = {1, 0, 5};
  for (int n = 0; n < 3; ++n) {
    if (!(typeMask & types[n])) continue;
    if (have[n] != want[n]) {
      ok = Compare(have[n], want[n], cond(bits[n]));
      break;  // a higher part decides
    }
    ok = Compare(have[n], want[n], cond(bits[n]));
  }
  if (!ok) SetLastError(ERROR_OLD_WIN_VERSION);
  return ok;
}

BOOL WINAPI MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (!from || !*from) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    Guard g(Mutex());
    I().pending.push_back({Wide(from), Wide(to)});
    return TRUE;
  }
  if (!to) return DeleteFileW(from);
  if ((flags & MOVEFILE_REPLACE_EXISTING) && GetFileAttributesW(to) != INVALID_FILE_ATTRIBUTES) DeleteFileW(to);
  return MoveFileW(from, to);
}

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR app, LPCWSTR key, LPCWSTR def, LPWSTR out, DWORD size, LPCWSTR file) {
  const std::u16string fallback = Trim(Wide(def));
  if (!file || !*file) return Answer(fallback, out, size, false);
  const auto lines = ProfileLines(file);
  std::u16string list;
  bool inSection = false;
  for (const auto& raw : lines) {
    std::u16string line = Trim(raw);
    if (line.empty() || line[0] == u';') continue;
    if (line[0] == u'[') {
      size_t close = line.find(u']');
      std::u16string name = line.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1);
      if (!app) list += name + u'\0';
      inSection = app && IEquals(name, Wide(app));
      continue;
    }
    if (!inSection) continue;
    size_t eq = line.find(u'=');
    std::u16string k = Trim(line.substr(0, eq));
    if (!key) {
      list += k + u'\0';
      continue;
    }
    if (eq == std::u16string::npos || !IEquals(k, Wide(key))) continue;
    std::u16string v = Trim(line.substr(eq + 1));
    if (v.size() >= 2 && v.front() == u'"' && v.back() == u'"') v = v.substr(1, v.size() - 2);
    return Answer(v, out, size, false);
  }
  if (!app || !key) return Answer(list + u'\0', out, size, true);
  return Answer(fallback, out, size, false);
}

}  // extern "C"
