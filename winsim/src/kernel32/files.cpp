// Files of the simulated C: drive, kept in a host directory. Names are case-preserving and looked up
// case-insensitively (ASCII folding), as on NTFS. Sharing modes are enforced between open handles.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "advapi32/security.h"
#include "internal.h"
#include "machine_state.h"

using namespace winsim::detail;

namespace {

std::string g_root;  // host directory of C:\, guarded by the machine lock

void RemoveRootAtExit() {
  std::error_code ec;
  if (!g_root.empty()) std::filesystem::remove_all(g_root, ec);
}

std::string MakeRoot() {
  const char* tmp = getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/winsim-XXXXXX";
  if (!mkdtemp(templ.data())) {
    // No machine without its drive; the environment's fault (a full or read-only temporary folder), so
    // a message and a failed run rather than a crash.
    std::fprintf(stderr, "winsim: cannot make the folder of drive C: in %s: %s (TMPDIR names another)\n",
                 tmp && *tmp ? tmp : "/tmp", std::strerror(errno));
    std::fflush(stderr);
    _exit(1);
  }
  static bool registered = false;
  if (!registered) {
    registered = true;
    atexit(RemoveRootAtExit);
  }
  return templ;
}

const std::string& Root() {
  if (g_root.empty()) g_root = MakeRoot();
  return g_root;
}

// Whole host files: all of `data` into a file opened with `flags` (O_CREAT and the like), and all of a file.
bool WriteHost(const std::string& host, int flags, const void* data, size_t size) {
  const int fd = open(host.c_str(), O_WRONLY | O_CLOEXEC | flags, 0666);
  if (fd < 0) return false;
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, p + done, size - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  close(fd);
  return done == size;
}

std::vector<uint8_t> ReadHost(const std::string& host) {
  std::vector<uint8_t> out;
  const int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  uint8_t buf[65536];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
  close(fd);
  return out;
}

DWORD ErrnoToWin(int e) {
  switch (e) {
    case ENOENT: case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC: return 112;  // ERROR_DISK_FULL
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_INVALID_NAME;
    default: return ERROR_ACCESS_DENIED;
  }
}

bool HasWildcard(std::u16string_view s) {
  return s.find_first_of(u"*?") != std::u16string_view::npos;
}

// Splits a Windows path into the components below C:\.
DWORD ParsePath(LPCWSTR path, bool wildLast, std::vector<std::u16string>* parts) {
  if (!path) return ERROR_INVALID_PARAMETER;
  std::u16string p(path);
  if (p.empty()) return ERROR_PATH_NOT_FOUND;
  std::replace(p.begin(), p.end(), u'/', u'\\');
  if (p.rfind(u"\\\\?\\", 0) == 0) p.erase(0, 4);  // long-path prefix
  else if (p.rfind(u"\\\\", 0) == 0) return ERROR_PATH_NOT_FOUND;  // UNC and device paths are not on C:
  if (p.size() >= 2 && p[1] == u':') {
    if (FoldAscii(p[0]) != u'C') return ERROR_PATH_NOT_FOUND;
    p.erase(0, 2);
  }
  std::vector<std::u16string> raw;
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find(u'\\', start);
    if (end == std::u16string::npos) end = p.size();
    raw.push_back(p.substr(start, end - start));
    start = end + 1;
  }
  for (size_t i = 0; i < raw.size(); ++i) {
    std::u16string c = raw[i];
    if (c.empty() || c == u".") continue;
    if (c == u"..") {
      if (!parts->empty()) parts->pop_back();
      continue;
    }
    bool last = i + 1 == raw.size();
    for (char16_t ch : c) {
      if (ch < 0x20 || ch == u'<' || ch == u'>' || ch == u':' || ch == u'"' || ch == u'|') return ERROR_INVALID_NAME;
      if ((ch == u'*' || ch == u'?') && !(wildLast && last)) return ERROR_INVALID_NAME;
    }
    if (!HasWildcard(c)) {  // Windows drops trailing dots and spaces of a name
      while (!c.empty() && (c.back() == u'.' || c.back() == u' ')) c.pop_back();
      if (c.empty()) continue;
    }
    parts->push_back(std::move(c));
  }
  return 0;
}

// Finds `name` in host directory `dir`, exact case first, then ASCII case-insensitively.
bool FindEntry(const std::string& dir, const std::string& name, std::string* actual) {
  struct stat st;
  if (stat((dir + "/" + name).c_str(), &st) == 0) {
    *actual = name;
    return true;
  }
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  bool found = false;
  while (dirent* e = readdir(d)) {
    if (strcasecmp(e->d_name, name.c_str()) == 0 && strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) {
      *actual = e->d_name;
      found = true;
      break;
    }
  }
  closedir(d);
  return found;
}

struct Resolved {
  DWORD error = 0;            // the path is not a valid C: path
  std::string host;           // existing components in their stored case, the rest as given
  std::string parentHost;
  std::u16string leaf;        // last component as given ("" for the root)
  bool parentExists = false;  // every component but the last is an existing directory
  bool exists = false;
  bool isDir = false;
  bool isRoot = false;
  struct stat st {};
};

bool IsLink(const std::string& host);

Resolved Resolve(LPCWSTR path, bool wildLast = false) {
  Resolved r;
  std::vector<std::u16string> parts;
  r.error = ParsePath(path, wildLast, &parts);
  if (r.error) return r;
  r.host = Root();
  r.parentHost = r.host;
  r.parentExists = true;
  bool walking = true;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string name = ToUtf8(parts[i]), actual;
    bool last = i + 1 == parts.size();
    if (last) {
      r.parentHost = r.host;
      r.leaf = parts[i];
    }
    if (walking && !(last && HasWildcard(parts[i])) && FindEntry(r.host, name, &actual)) {
      r.host += "/" + actual;
      // A junction on the way is followed to its folder, as the object manager does: what lies below
      // has one path, one descriptor and its real parent, whichever way it is named. A junction as the
      // last component is the junction itself.
      for (int hops = 0; !last && hops < 32 && IsLink(r.host); ++hops) {
        char target[PATH_MAX];
        const ssize_t n = readlink(r.host.c_str(), target, sizeof target - 1);
        if (n <= 0) break;
        target[n] = 0;
        const std::string to(target);
        if (to != Root() && to.rfind(Root() + "/", 0) != 0) break;  // not one of this drive's folders
        r.host = to;
      }
      // One that leads off the drive (planted on the host) or round in a circle leads nowhere.
      if (!last && IsLink(r.host)) {
        walking = false, r.parentExists = false;
        continue;
      }
      if (!last) {
        struct stat st;
        if (stat(r.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) walking = false, r.parentExists = false;
      }
    } else {
      r.host += "/" + name;
      if (!last) walking = false, r.parentExists = false;
    }
  }
  r.isRoot = parts.empty();
  if (r.parentExists && stat(r.host.c_str(), &r.st) == 0) {
    r.exists = true;
    r.isDir = S_ISDIR(r.st.st_mode);
  }
  return r;
}

// ---- open files and sharing ------------------------------------------------------
struct FileObj;
std::multimap<std::pair<dev_t, ino_t>, FileObj*>& OpenFiles() {
  static auto* m = new std::multimap<std::pair<dev_t, ino_t>, FileObj*>;
  return *m;
}

struct FileObj : KernelObject {
  int fd = -1;
  bool read = false, write = false;
  DWORD share = 0;
  DWORD granted = 0;  // the specific rights the handle has
  std::pair<dev_t, ino_t> id;
  // Where the file's descriptor is kept (SecurityOf's key), following renames; once the file is deleted
  // while open, the descriptor it had.
  std::string key;
  std::optional<SecurityDescriptor> kept;
  FileObj(int f, bool r, bool w, DWORD s, DWORD g, const struct stat& st, std::string k)
      : fd(f), read(r), write(w), share(s), granted(g), id(st.st_dev, st.st_ino), key(std::move(k)) {
    OpenFiles().emplace(id, this);
  }
  ~FileObj() override {
    Guard g(Mutex());
    auto range = OpenFiles().equal_range(id);
    for (auto it = range.first; it != range.second; ++it)
      if (it->second == this) {
        OpenFiles().erase(it);
        break;
      }
    close(fd);
  }
};

bool ShareConflict(const struct stat& st, bool read, bool write, DWORD share) {
  auto range = OpenFiles().equal_range({st.st_dev, st.st_ino});
  for (auto it = range.first; it != range.second; ++it) {
    const FileObj* o = it->second;
    if ((read && !(o->share & FILE_SHARE_READ)) || (write && !(o->share & FILE_SHARE_WRITE)) ||
        (o->read && !(share & FILE_SHARE_READ)) || (o->write && !(share & FILE_SHARE_WRITE)))
      return true;
  }
  return false;
}

bool DeleteConflict(const struct stat& st) {
  auto range = OpenFiles().equal_range({st.st_dev, st.st_ino});
  for (auto it = range.first; it != range.second; ++it)
    if (!(it->second->share & FILE_SHARE_DELETE)) return true;
  return false;
}

std::shared_ptr<FileObj> FileOf(HANDLE h) { return HandleOrError<FileObj>(h); }

// OnceAfterOpen's hook, guarded by the machine lock.
struct AfterOpen {
  std::u16string path;
  std::function<void()> hook;
};
AfterOpen& PendingAfterOpen() {
  static auto* a = new AfterOpen;
  return *a;
}

// The ANSI entry points: a null name fails with ERROR_INVALID_PARAMETER (answering `failed`), any other
// goes to the wide call converted from the ANSI code page.
template <class R, class WideCall>
R WithWideName(LPCSTR name, R failed, WideCall wide) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return failed;
  }
  return wide(FromAcp(name).c_str());
}

// The file of a ReadFile or WriteFile call, open for that direction (`access`) and given a buffer for a
// non-empty transfer; null with the error set.
std::shared_ptr<FileObj> TransferFile(HANDLE h, bool FileObj::*access, const void* buffer, DWORD bytes) {
  auto f = FileOf(h);
  if (!f) return nullptr;
  const DWORD error = !((*f).*access)     ? ERROR_ACCESS_DENIED
                      : !buffer && bytes ? ERROR_INVALID_USER_BUFFER
                                         : ERROR_SUCCESS;
  if (error) SetLastError(error);
  return error ? nullptr : f;
}

// Why a path that must name a file or folder cannot be used: its own error, else for a missing one "not
// found" when its folder exists and "path not found" when not; 0 when it names one.
DWORD ExistingError(const Resolved& r) {
  if (r.error || r.exists) return r.error;
  return r.parentExists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

FILETIME ToFileTime(const timespec& ts) {
  uint64_t t = (uint64_t(ts.tv_sec) + 11644473600ULL) * 10000000ULL + uint64_t(ts.tv_nsec) / 100;
  return FILETIME{DWORD(t), DWORD(t >> 32)};
}

// ---- find ------------------------------------------------------------------------
struct FindObj : Object {
  std::vector<WIN32_FIND_DATAW> entries;
  size_t next = 0;
};

// '*' any run, '?' one character, case-insensitive. A trailing ".*" also matches a name without a dot
// ("*.*" matches everything), as FindFirstFile does.
bool Match(std::u16string_view pat, std::u16string_view name) {
  size_t p = 0, n = 0, starP = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pat.size() && (pat[p] == u'?' || (pat[p] != u'*' && FoldAscii(pat[p]) == FoldAscii(name[n])))) {
      ++p, ++n;
    } else if (p < pat.size() && pat[p] == u'*') {
      starP = p++, starN = n;
    } else if (starP != std::u16string_view::npos) {
      p = starP + 1, n = ++starN;
    } else {
      return false;
    }
  }
  if (p < pat.size() && pat[p] == u'.' && p + 1 < pat.size() && pat[p + 1] == u'*') p += 2;
  while (p < pat.size() && pat[p] == u'*') ++p;
  return p == pat.size();
}

void FillFindData(const std::u16string& name, const struct stat& st, WIN32_FIND_DATAW* fd) {
  memset(fd, 0, sizeof *fd);
  fd->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) fd->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  fd->ftCreationTime = ToFileTime(st.st_ctim);
  fd->ftLastAccessTime = ToFileTime(st.st_atim);
  fd->ftLastWriteTime = ToFileTime(st.st_mtim);
  if (!S_ISDIR(st.st_mode)) {
    fd->nFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
    fd->nFileSizeLow = DWORD(st.st_size);
  }
  size_t n = std::min<size_t>(name.size(), MAX_PATH - 1);
  memcpy(fd->cFileName, name.data(), n * sizeof(WCHAR));
}

// ---- security ----------------------------------------------------------------------
// Each file or folder created through the API keeps the descriptor it was given (owner, DACL with what it
// inherited); one made on the host side (WriteHostFile) has the descriptor it would have inherited.
std::map<std::string, SecurityDescriptor>& SecurityOf() {  // by host path as resolved (links not followed)
  static auto* m = new std::map<std::string, SecurityDescriptor>;
  return *m;
}

bool IsLink(const std::string& host) {
  struct stat st;
  return lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string ParentHost(const std::string& host) {
  const size_t slash = host.rfind('/');
  return slash == std::string::npos || slash < Root().size() ? Root() : host.substr(0, slash);
}

SecurityDescriptor EffectiveSecurity(const std::string& host, bool isFolder) {
  auto it = SecurityOf().find(host);
  if (it != SecurityOf().end()) return it->second;
  if (host.size() <= Root().size()) return RootSecurity();
  DWORD ignored;
  return NewObjectSecurity(EffectiveSecurity(ParentHost(host), true), isFolder, *SystemToken(), nullptr, &ignored);
}

// Whether the calling thread's token gets `desired` on the object.
bool Allowed(const std::string& host, bool isFolder, DWORD desired) {
  return AccessGranted(EffectiveSecurity(host, isFolder), *CurrentToken(), desired);
}

// Deleting (or renaming away) a file or folder: DELETE on it, or FILE_DELETE_CHILD on its folder.
bool MayDelete(const Resolved& r) {
  return Allowed(r.host, r.isDir, kDelete) || Allowed(r.parentHost, true, kFileDeleteChild);
}

// The descriptor of an object about to be created in r.parentHost, from the caller's security attributes;
// ERROR_INVALID_OWNER when it names an owner the caller may not assign.
SecurityDescriptor NewSecurity(const Resolved& r, bool isFolder, const SECURITY_ATTRIBUTES* sa, DWORD* error) {
  SecurityDescriptor requested;
  const bool given = sa && ReadSecurityDescriptor(sa->lpSecurityDescriptor, &requested);
  return NewObjectSecurity(EffectiveSecurity(r.parentHost, true), isFolder, *CurrentToken(), given ? &requested : nullptr,
                           error);
}

bool IsAtOrBelow(const std::string& path, const std::string& top) {
  return path == top || path.rfind(top + "/", 0) == 0;
}

// A renamed file or folder takes its descriptors along (a folder's, and those of everything below it).
void MoveSecurity(const std::string& from, const std::string& to) {
  for (auto& [id, open] : OpenFiles())
    if (!open->kept && IsAtOrBelow(open->key, from)) open->key = to + open->key.substr(from.size());
  auto& all = SecurityOf();
  std::vector<std::pair<std::string, SecurityDescriptor>> moved;
  for (auto it = all.begin(); it != all.end();) {
    if (it->first == from || it->first.rfind(from + "/", 0) == 0) {
      moved.emplace_back(to + it->first.substr(from.size()), it->second);
      it = all.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& m : moved) all[m.first] = m.second;
}

// A deleted file or folder leaves no descriptor for a new one of the same name to find.
void ForgetSecurity(const std::string& host) {
  // A file deleted while open keeps answering for itself through its handles, as on Windows.
  for (auto& [id, open] : OpenFiles())
    if (!open->kept && IsAtOrBelow(open->key, host)) open->kept = EffectiveSecurity(open->key, false);
  auto& all = SecurityOf();
  for (auto it = all.begin(); it != all.end();)
    it = it->first == host || it->first.rfind(host + "/", 0) == 0 ? all.erase(it) : std::next(it);
}

}  // namespace

namespace winsim::detail {
void ResetFiles() {
  SecurityOf().clear();
  PendingAfterOpen() = AfterOpen{};
  std::string old = g_root;
  g_root = MakeRoot();  // made before the old one goes, so the new root never reuses its name
  std::error_code ec;
  if (!old.empty()) std::filesystem::remove_all(old, ec);
}
const ResetRegistrar kResetFiles(ResetFiles);

// The tree below the root in pre-order (a folder before what it holds), names in byte order, then the
// owners and access lists, all by path relative to the root ("a/b"). Junctions are kept as links with
// their target relative to the root; what is inside them is saved once, where it really is.
enum : uint8_t { kFolder = 0, kFile = 1, kJunction = 2 };

std::string Relative(const std::string& host) {
  const std::string& root = Root();
  if (host.size() > root.size() && host.compare(0, root.size(), root) == 0 && host[root.size()] == '/')
    return host.substr(root.size() + 1);
  return {};
}

void SaveTree(StateWriter& w, const std::string& host, const std::string& rel, uint32_t* count) {
  std::vector<std::string> names;
  if (DIR* d = opendir(host.c_str())) {
    while (dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    const std::string path = host + "/" + name, relPath = rel.empty() ? name : rel + "/" + name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) continue;
    if (S_ISLNK(st.st_mode)) {
      char target[PATH_MAX];
      const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
      const std::string to = n > 0 ? Relative(std::string(target, size_t(n))) : std::string();
      if (to.empty()) continue;  // not into C:: nothing a junction of this machine makes
      w.U8(kJunction);
      w.Str8(relPath);
      w.Str8(to);
    } else if (S_ISDIR(st.st_mode)) {
      w.U8(kFolder);
      w.Str8(relPath);
      w.Bool(!(st.st_mode & S_IWUSR));
      ++*count;
      SaveTree(w, path, relPath, count);
      continue;
    } else if (S_ISREG(st.st_mode)) {
      const std::vector<uint8_t> data = ReadHost(path);
      w.U8(kFile);
      w.Str8(relPath);
      w.Bool(!(st.st_mode & S_IWUSR));
      w.U64(uint64_t(st.st_mtim.tv_sec));
      w.U32(uint32_t(st.st_mtim.tv_nsec));
      w.Bytes(data);
    } else {
      continue;
    }
    ++*count;
  }
}

void SaveFiles(StateWriter& w) {
  StateWriter tree;
  uint32_t count = 0;
  SaveTree(tree, Root(), "", &count);
  w.U32(count);
  w.Append(tree.Out());
  std::vector<std::pair<std::string, const SecurityDescriptor*>> secured;
  for (const auto& [host, sec] : SecurityOf())
    if (struct stat st; lstat(host.c_str(), &st) == 0 && !Relative(host).empty()) secured.push_back({Relative(host), &sec});
  w.U32(uint32_t(secured.size()));
  for (const auto& [rel, sec] : secured) {
    w.Str8(rel);
    w.Str8(sec->owner);
    w.Bool(sec->hasDacl);
    w.Bool(sec->protectedDacl);
    w.U32(uint32_t(sec->dacl.size()));
    for (const Ace& ace : sec->dacl) {
      w.Bool(ace.deny);
      w.U8(ace.flags);
      w.U32(ace.mask);
      w.Str8(ace.sid);
    }
  }
}

// A path relative to the root, as saved: plain names joined by '/', nothing that climbs out.
bool PlainRelative(const std::string& rel) {
  if (rel.empty() || rel.size() > 4096) return false;
  size_t start = 0;
  while (start <= rel.size()) {
    size_t end = rel.find('/', start);
    if (end == std::string::npos) end = rel.size();
    const std::string name = rel.substr(start, end - start);
    if (name.empty() || name == "." || name == ".." || name.size() > 255 || name.find('\0') != std::string::npos)
      return false;
    start = end + 1;
  }
  return true;
}

// The folder an entry goes into exists and is a real folder (not a junction), so nothing lands outside.
bool ParentIsFolder(const std::string& host) {
  struct stat st;
  return lstat(host.substr(0, host.rfind('/')).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What the host refused while the drive was laid out: a fault of this machine (a full disk, a temporary
// folder without the right to write) rather than of the state, which is then told apart.
bool RefusedByHost(StateReader& r, const std::string& what) {
  const int e = errno;
  const std::string why = what + ": " + std::strerror(e);
  if (e == ENOSPC || e == EDQUOT || e == EROFS || e == EACCES || e == EPERM || e == EIO || e == EMFILE ||
      e == ENFILE || e == ENOMEM)
    r.FailHost(why);
  else
    r.Fail(why);
  return false;
}

bool LoadFiles(StateReader& r, uint32_t version) {
  const std::string& root = Root();
  std::vector<std::string> readOnlyFolders;
  for (uint32_t i = 0, n = r.Count(9); i < n && r.Ok(); ++i) {
    const uint8_t kind = r.U8();
    const std::string rel = r.Str8();
    if (!r.Ok()) break;
    const std::string host = root + "/" + rel;
    struct stat st;
    if (!PlainRelative(rel) || !ParentIsFolder(host)) return r.Fail("a file path is not inside C: (\"" + rel + "\")"), false;
    if (lstat(host.c_str(), &st) == 0) return r.Fail("a file path appears twice (\"" + rel + "\")"), false;
    if (kind == kFolder) {
      const bool readOnly = r.Bool();
      if (r.Ok() && mkdir(host.c_str(), 0777) != 0) return RefusedByHost(r, "cannot create the folder " + host);
      if (readOnly) readOnlyFolders.push_back(host);
    } else if (kind == kFile) {
      const bool readOnly = r.Bool();
      timespec times[2];
      times[1].tv_sec = time_t(r.U64());
      times[1].tv_nsec = long(r.U32());
      times[0] = times[1];
      const std::vector<uint8_t> data = r.Bytes();
      if (!r.Ok()) break;
      if (times[1].tv_nsec >= 1000000000) return r.Fail("a file time is not valid"), false;
      if (!WriteHost(host, O_CREAT | O_EXCL, data.data(), data.size())) return RefusedByHost(r, "cannot write the file " + host);
      utimensat(AT_FDCWD, host.c_str(), times, AT_SYMLINK_NOFOLLOW);
      if (readOnly) chmod(host.c_str(), 0444);
    } else if (kind == kJunction) {
      const std::string to = r.Str8();
      if (!r.Ok()) break;
      if (!PlainRelative(to)) return r.Fail("a junction points outside C: (\"" + rel + "\")"), false;
      if (symlink((root + "/" + to).c_str(), host.c_str()) != 0) return RefusedByHost(r, "cannot create the junction " + host);
    } else {
      return r.Fail("an entry of unknown kind " + std::to_string(kind)), false;
    }
  }
  for (uint32_t i = 0, n = r.Count(17); i < n && r.Ok(); ++i) {
    const std::string rel = r.Str8();
    SecurityDescriptor sec;
    sec.owner = r.Str8();
    sec.hasDacl = r.Bool();
    if (version >= 2) {
      sec.protectedDacl = r.Bool();
      for (uint32_t k = 0, aces = r.Count(14); k < aces && r.Ok(); ++k) {
        Ace ace;
        ace.deny = r.Bool();
        ace.flags = r.U8();
        ace.mask = r.U32();
        ace.sid = r.Str8();
        sec.dacl.push_back(std::move(ace));
      }
    } else {
      // Version 1 kept the SIDs a folder's protected list gave full control.
      sec.protectedDacl = sec.hasDacl;
      for (uint32_t k = 0, sids = r.Count(8); k < sids && r.Ok(); ++k)
        sec.dacl.push_back(Ace{false, kAceObjectInherit | kAceContainerInherit, kFileAllAccess, r.Str8()});
    }
    if (r.Ok() && !PlainRelative(rel)) return r.Fail("a secured path is not inside C:"), false;
    SecurityOf()[root + "/" + rel] = std::move(sec);
  }
  // Last, so that what they hold could be created.
  for (auto it = readOnlyFolders.rbegin(); it != readOnlyFolders.rend(); ++it) chmod(it->c_str(), 0555);
  return r.Ok();
}
const StateRegistrar kFilesState("files", 2, SaveFiles, LoadFiles);
}  // namespace winsim::detail

namespace winsim {
std::string RootDir() {
  Guard g(Mutex());
  return Root();
}

std::string HostPath(const std::u16string& winPath) {
  Guard g(Mutex());
  Resolved r = Resolve(winPath.c_str());
  return r.error ? std::string() : r.host;
}

bool WriteHostFile(const std::u16string& winPath, const void* data, size_t size) {
  Guard g(Mutex());
  Resolved r = Resolve(winPath.c_str());
  if (r.error || r.isRoot || r.isDir) return false;
  std::error_code ec;
  std::filesystem::create_directories(r.parentHost, ec);
  if (ec) return false;
  return WriteHost(r.host, O_CREAT | O_TRUNC, data, size);
}

bool CreateJunction(const std::u16string& link, const std::u16string& target) {
  Guard g(Mutex());
  Resolved l = Resolve(link.c_str()), t = Resolve(target.c_str());
  if (l.error || t.error || l.exists || !l.parentExists || !t.isDir) return false;
  return symlink(t.host.c_str(), l.host.c_str()) == 0;
}

bool SetFileOwner(const std::u16string& winPath, const std::string& sid) {
  Guard g(Mutex());
  Resolved r = Resolve(winPath.c_str());
  if (r.error || !r.exists) return false;
  SecurityDescriptor sd = EffectiveSecurity(r.host, r.isDir);
  sd.owner = sid;
  SecurityOf()[r.host] = sd;
  return true;
}

std::string FileOwner(const std::u16string& winPath) {
  Guard g(Mutex());
  Resolved r = Resolve(winPath.c_str());
  if (r.error || !r.exists) return "";
  return EffectiveSecurity(r.host, r.isDir).owner;
}

std::vector<std::string> FileAccessList(const std::u16string& winPath) {
  Guard g(Mutex());
  Resolved r = Resolve(winPath.c_str());
  auto it = SecurityOf().find(r.host);
  std::vector<std::string> sids;
  if (r.error || !r.exists || it == SecurityOf().end()) return sids;
  for (const Ace& ace : it->second.dacl)
    if (!ace.deny && !(ace.flags & kAceInheritOnly) && std::find(sids.begin(), sids.end(), ace.sid) == sids.end())
      sids.push_back(ace.sid);
  return sids;
}

void OnceAfterOpen(const std::u16string& winPath, std::function<void()> hook) {
  Guard g(Mutex());
  PendingAfterOpen() = AfterOpen{winPath, std::move(hook)};
}

std::vector<uint8_t> ReadHostFile(const std::u16string& winPath) {
  Guard g(Mutex());
  Resolved r = Resolve(winPath.c_str());
  if (r.error || !r.exists || r.isDir) return {};
  return ReadHost(r.host);
}
}  // namespace winsim

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  const bool rd = dwDesiredAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
  const bool wr = dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA);
  if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING ||
      (dwCreationDisposition == TRUNCATE_EXISTING && !wr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (HANDLE serial; OpenSerialPort(lpFileName, &serial)) return serial;
  if (IsDevicePath(lpFileName)) return OpenDevice(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition);
  Guard g(Mutex());
  Resolved r = Resolve(lpFileName);
  if (r.error) {
    SetLastError(r.error);
    return INVALID_HANDLE_VALUE;
  }
  if (r.exists && r.isDir) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (!r.parentExists) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const DWORD disp = dwCreationDisposition;
  if (r.exists && disp == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  if (!r.exists && (disp == OPEN_EXISTING || disp == TRUNCATE_EXISTING)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const bool truncate = r.exists && (disp == CREATE_ALWAYS || disp == TRUNCATE_EXISTING);
  // An existing file is checked for the access asked for (overwriting it needs write access); a new one is
  // made only where the folder lets the caller add files, and the caller gets what it asked for.
  SecurityDescriptor created;
  // The handle has the rights asked for (MAXIMUM_ALLOWED is not granted here: no caller needs it).
  const DWORD granted = MapGenericFileRights(dwDesiredAccess);
  if (r.exists) {
    const DWORD desired = granted | (truncate ? kFileAddFile : 0);
    if (desired && !Allowed(r.host, false, desired)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
  } else {
    if (!Allowed(r.parentHost, true, kFileAddFile)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    DWORD error = 0;
    created = NewSecurity(r, false, lpSecurityAttributes, &error);
    if (error) {
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
  }
  // Opens without data access (attribute queries) take no part in sharing, as on Windows.
  if (r.exists && (rd || wr || truncate) && ShareConflict(r.st, rd, wr || truncate, dwShareMode)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC | ((wr || truncate) ? O_RDWR : O_RDONLY);
  if (truncate) flags |= O_TRUNC;
  if (!r.exists) flags |= O_CREAT | O_EXCL;
  if (dwFlagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) flags |= O_NOFOLLOW;  // the link itself, not its target
  int fd = open(r.host.c_str(), flags, 0666);
  if (fd < 0) {
    SetLastError(ErrnoToWin(errno));
    return INVALID_HANDLE_VALUE;
  }
  if (!r.exists) SecurityOf()[r.host] = created;
  struct stat st;
  fstat(fd, &st);
  HANDLE h = NewHandle(std::make_shared<FileObj>(fd, rd, wr, dwShareMode, granted, st, r.host));
  if (auto& after = PendingAfterOpen(); after.hook && IEquals(after.path, lpFileName)) {
    auto hook = std::move(after.hook);
    after = AfterOpen{};
    hook();
  }
  SetLastError(r.exists && (disp == CREATE_ALWAYS || disp == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES sa,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  return WithWideName(lpFileName, INVALID_HANDLE_VALUE, [&](LPCWSTR name) {
    return CreateFileW(name, dwDesiredAccess, dwShareMode, sa, dwCreationDisposition, dwFlagsAndAttributes,
                       hTemplateFile);
  });
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  BOOL deviceResult;
  if (DeviceReadFile(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead, &deviceResult)) return deviceResult;
  auto f = TransferFile(hFile, &FileObj::read, lpBuffer, nNumberOfBytesToRead);
  if (!f) return FALSE;
  DWORD done = 0;
  while (done < nNumberOfBytesToRead) {
    ssize_t n = read(f->fd, static_cast<char*>(lpBuffer) + done, nNumberOfBytesToRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(ErrnoToWin(errno));
      return FALSE;
    }
    if (n == 0) break;
    done += DWORD(n);
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  BOOL deviceResult;
  if (DeviceWriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten, &deviceResult))
    return deviceResult;
  auto f = TransferFile(hFile, &FileObj::write, lpBuffer, nNumberOfBytesToWrite);
  if (!f) return FALSE;
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    ssize_t n = write(f->fd, static_cast<const char*>(lpBuffer) + done, nNumberOfBytesToWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(n < 0 ? ErrnoToWin(errno) : 112);
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
      return FALSE;
    }
    done += DWORD(n);
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) { return TakeHandleOrError<KernelObject>(hObject); }

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  auto f = FileOf(hFile);
  struct stat st;
  if (!f || fstat(f->fd, &st) != 0) {
    if (f) SetLastError(ErrnoToWin(errno));
    return INVALID_FILE_SIZE;
  }
  if (lpFileSizeHigh) *lpFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(st.st_size);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
  auto f = FileOf(hFile);
  if (!f) return INVALID_SET_FILE_POINTER;
  int64_t dist = lpDistanceToMoveHigh
                     ? int64_t((uint64_t(uint32_t(*lpDistanceToMoveHigh)) << 32) | uint32_t(lDistanceToMove))
                     : int64_t(lDistanceToMove);
  int64_t base;
  struct stat st;
  switch (dwMoveMethod) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = lseek(f->fd, 0, SEEK_CUR); break;
    case FILE_END: base = fstat(f->fd, &st) == 0 ? st.st_size : -1; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
  }
  int64_t pos = base + dist;
  if (pos < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (!lpDistanceToMoveHigh && pos > 0xFFFFFFFELL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (lseek(f->fd, pos, SEEK_SET) < 0) {
    SetLastError(ErrnoToWin(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = LONG(pos >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(pos);
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  if (!f->write) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return TRUE;  // writes go straight to the host file; nothing is buffered here
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
  auto f = FileOf(hFile);
  if (!f) return FALSE;
  struct stat st;
  if (!lpFileInformation || fstat(f->fd, &st) != 0) {
    SetLastError(lpFileInformation ? ErrnoToWin(errno) : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BY_HANDLE_FILE_INFORMATION& info = *lpFileInformation;
  memset(&info, 0, sizeof info);
  info.dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (S_ISLNK(st.st_mode)) info.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  if (!(st.st_mode & S_IWUSR)) info.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  info.ftCreationTime = ToFileTime(st.st_ctim);
  info.ftLastAccessTime = ToFileTime(st.st_atim);
  info.ftLastWriteTime = ToFileTime(st.st_mtim);
  info.dwVolumeSerialNumber = DWORD(st.st_dev);
  info.nFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
  info.nFileSizeLow = DWORD(st.st_size);
  info.nNumberOfLinks = DWORD(st.st_nlink);
  info.nFileIndexHigh = DWORD(uint64_t(st.st_ino) >> 32);
  info.nFileIndexLow = DWORD(st.st_ino);
  return TRUE;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
  Guard g(Mutex());
  Resolved r = Resolve(lpFileName);
  if (DWORD err = ExistingError(r)) {
    SetLastError(err);
    return INVALID_FILE_ATTRIBUTES;
  }
  // Read-attributes on the object, or listing its folder.
  if (!r.isRoot && !Allowed(r.host, r.isDir, kFileReadAttributes) && !Allowed(r.parentHost, true, kFileListDirectory)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD a = r.isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(r.st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
  if (IsLink(r.host)) a |= FILE_ATTRIBUTE_REPARSE_POINT;  // junctions are host symbolic links
  return a;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  return WithWideName(lpFileName, DWORD(INVALID_FILE_ATTRIBUTES), GetFileAttributesW);
}

BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  Guard g(Mutex());
  Resolved r = Resolve(lpPathName);
  DWORD err = r.error ? r.error : (r.exists || IsLink(r.host)) ? ERROR_ALREADY_EXISTS
                                  : !r.parentExists            ? ERROR_PATH_NOT_FOUND
                                  : !Allowed(r.parentHost, true, kFileAddSubdirectory) ? ERROR_ACCESS_DENIED
                                                               : 0;
  SecurityDescriptor created;
  if (!err) created = NewSecurity(r, true, lpSecurityAttributes, &err);
  if (!err && mkdir(r.host.c_str(), 0777) != 0) err = ErrnoToWin(errno);
  if (err) {
    SetLastError(err);
    return FALSE;
  }
  SecurityOf()[r.host] = created;
  return TRUE;
}

}  // extern "C"

namespace {
// The parts of `security` a GetNamedSecurityInfoW/GetSecurityInfo caller asked for, pointing into one
// LocalAlloc'd descriptor.
DWORD HandOutSecurity(const SecurityDescriptor& security, SECURITY_INFORMATION info, PSID* owner, PSID* group,
                      PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* out) {
  PSECURITY_DESCRIPTOR sd = AllocSecurityDescriptor(security);
  if (!sd) return ERROR_NOT_ENOUGH_MEMORY;
  if (owner) *owner = (info & OWNER_SECURITY_INFORMATION) ? OwnerSidOf(sd) : nullptr;
  if (group) *group = nullptr;
  if (dacl) *dacl = (info & DACL_SECURITY_INFORMATION) ? DaclOf(sd) : nullptr;
  if (sacl) *sacl = nullptr;
  *out = sd;
  return ERROR_SUCCESS;
}
}  // namespace

extern "C" {

DWORD WINAPI GetNamedSecurityInfoW(LPCWSTR pObjectName, SE_OBJECT_TYPE ObjectType, SECURITY_INFORMATION SecurityInfo,
                                   PSID* ppsidOwner, PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                                   PSECURITY_DESCRIPTOR* ppSecurityDescriptor) {
  if (ObjectType != SE_FILE_OBJECT || !pObjectName || !ppSecurityDescriptor) return ERROR_INVALID_PARAMETER;
  Guard g(Mutex());
  Resolved r = Resolve(pObjectName);
  if (DWORD err = ExistingError(r)) return err;
  if (!Allowed(r.host, r.isDir, kReadControl)) return ERROR_ACCESS_DENIED;
  return HandOutSecurity(EffectiveSecurity(r.host, r.isDir), SecurityInfo, ppsidOwner, ppsidGroup, ppDacl, ppSacl,
                         ppSecurityDescriptor);
}

// The descriptor of the file a handle was opened on, wherever that file now is: renaming it, deleting it,
// or putting another file under its old name does not change the answer. Owner, group and access list
// need READ_CONTROL on the handle, the audit list ACCESS_SYSTEM_SECURITY.
DWORD WINAPI GetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE ObjectType, SECURITY_INFORMATION SecurityInfo,
                             PSID* ppsidOwner, PSID* ppsidGroup, PACL* ppDacl, PACL* ppSacl,
                             PSECURITY_DESCRIPTOR* ppSecurityDescriptor) {
  if (ObjectType != SE_FILE_OBJECT || (!ppSecurityDescriptor && (ppsidOwner || ppsidGroup || ppDacl || ppSacl)))
    return ERROR_INVALID_PARAMETER;
  auto f = FileOf(handle);
  if (!f) return GetLastError();
  const DWORD needed =
      ((SecurityInfo & (OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION))
           ? kReadControl
           : 0) |
      ((SecurityInfo & SACL_SECURITY_INFORMATION) ? DWORD(ACCESS_SYSTEM_SECURITY) : 0);
  if ((f->granted & needed) != needed) return ERROR_ACCESS_DENIED;
  if (!ppSecurityDescriptor) return ERROR_SUCCESS;
  Guard g(Mutex());
  return HandOutSecurity(f->kept ? *f->kept : EffectiveSecurity(f->key, false), SecurityInfo, ppsidOwner, ppsidGroup,
                         ppDacl, ppSacl, ppSecurityDescriptor);
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES sa) {
  return WithWideName(lpPathName, FALSE, [sa](LPCWSTR name) { return CreateDirectoryW(name, sa); });
}

BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
  Guard g(Mutex());
  Resolved r = Resolve(lpFileName);
  DWORD err = ExistingError(r);
  if (!err) err = r.isDir || !MayDelete(r) ? ERROR_ACCESS_DENIED : DeleteConflict(r.st) ? ERROR_SHARING_VIOLATION : 0;
  if (!err && unlink(r.host.c_str()) != 0) err = ErrnoToWin(errno);
  if (err) {
    SetLastError(err);
    return FALSE;
  }
  ForgetSecurity(r.host);
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) { return WithWideName(lpFileName, FALSE, DeleteFileW); }

BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
  Guard g(Mutex());
  Resolved r = Resolve(lpPathName);
  DWORD err = ExistingError(r);
  if (!err) err = r.isRoot || (r.isDir && !MayDelete(r)) ? ERROR_ACCESS_DENIED : !r.isDir ? ERROR_DIRECTORY : 0;
  // A junction goes by itself, not with what it points at.
  if (!err && (IsLink(r.host) ? unlink(r.host.c_str()) : rmdir(r.host.c_str())) != 0)
    err = errno == EEXIST ? ERROR_DIR_NOT_EMPTY : ErrnoToWin(errno);
  if (err) {
    SetLastError(err);
    return FALSE;
  }
  ForgetSecurity(r.host);
  return TRUE;
}

BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
  Guard g(Mutex());
  Resolved s = Resolve(lpExistingFileName), d = Resolve(lpNewFileName);
  DWORD err = ExistingError(s);
  if (!err) err = s.isRoot ? ERROR_ACCESS_DENIED : d.error;
  const bool sameFile = !err && d.exists && d.st.st_dev == s.st.st_dev && d.st.st_ino == s.st.st_ino;
  if (!err) {
    err = !d.parentExists       ? ERROR_PATH_NOT_FOUND
          : d.exists && !sameFile ? ERROR_ALREADY_EXISTS
          : !MayDelete(s) || !Allowed(d.parentHost, true, s.isDir ? kFileAddSubdirectory : kFileAddFile)
              ? ERROR_ACCESS_DENIED
          : DeleteConflict(s.st) ? ERROR_SHARING_VIOLATION
                                 : 0;
  }
  // Renaming to the same name in another case keeps the file and takes the new spelling.
  std::string target = sameFile ? d.parentHost + "/" + ToUtf8(d.leaf) : d.host;
  if (!err && rename(s.host.c_str(), target.c_str()) != 0) err = ErrnoToWin(errno);
  if (err) {
    SetLastError(err);
    return FALSE;
  }
  if (s.host != target) MoveSecurity(s.host, target);
  return TRUE;
}

BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists) {
  Guard g(Mutex());
  Resolved s = Resolve(lpExistingFileName), d = Resolve(lpNewFileName);
  DWORD err = ExistingError(s);
  if (!err) err = s.isDir ? ERROR_ACCESS_DENIED : d.error;
  if (!err) {
    const bool sameFile = d.exists && d.st.st_dev == s.st.st_dev && d.st.st_ino == s.st.st_ino;
    err = !d.parentExists               ? ERROR_PATH_NOT_FOUND
          : d.exists && bFailIfExists   ? ERROR_FILE_EXISTS
          : d.isDir                     ? ERROR_ACCESS_DENIED
          : sameFile                    ? ERROR_SHARING_VIOLATION
          : !Allowed(s.host, false, kFileGenericRead) ? ERROR_ACCESS_DENIED
          : !(d.exists ? Allowed(d.host, false, kFileGenericWrite) : Allowed(d.parentHost, true, kFileAddFile))
              ? ERROR_ACCESS_DENIED
          : ShareConflict(s.st, true, false, FILE_SHARE_READ)                     ? ERROR_SHARING_VIOLATION
          : d.exists && ShareConflict(d.st, false, true, 0)                       ? ERROR_SHARING_VIOLATION
                                                                                  : 0;
  }
  SecurityDescriptor created;
  if (!err && !d.exists) created = NewSecurity(d, false, nullptr, &err);
  if (!err) {
    std::error_code ec;
    std::filesystem::copy_file(s.host, d.host, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) err = ErrnoToWin(ec.value());
  }
  if (err) {
    SetLastError(err);
    return FALSE;
  }
  if (!d.exists) SecurityOf()[d.host] = created;
  return TRUE;
}

HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  if (!lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  Guard g(Mutex());
  Resolved r = Resolve(lpFileName, true);
  if (r.error || !r.parentExists) {
    SetLastError(r.error ? r.error : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string_view path(lpFileName);
  if (r.isRoot || path.back() == u'\\' || path.back() == u'/') {  // no name to match
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (!Allowed(r.parentHost, true, kFileListDirectory)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto find = std::make_shared<FindObj>();
  std::vector<std::pair<std::u16string, std::string>> names;  // (wide name, host name)
  if (r.parentHost != Root()) names = {{u".", "."}, {u"..", ".."}};
  if (DIR* dir = opendir(r.parentHost.c_str())) {
    while (dirent* e = readdir(dir))
      if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.emplace_back(FromUtf8(e->d_name), e->d_name);
    closedir(dir);
  }
  std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return Upper(a.first) < Upper(b.first); });
  for (const auto& [wide, host] : names) {
    struct stat st;
    if (!Match(r.leaf, wide) || stat((r.parentHost + "/" + host).c_str(), &st) != 0) continue;
    find->entries.emplace_back();
    FillFindData(wide, st, &find->entries.back());
    if (IsLink(r.parentHost + "/" + host)) find->entries.back().dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  if (find->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *lpFindFileData = find->entries[0];
  find->next = 1;
  return NewHandle(find);
}

BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  auto f = HandleOrError<FindObj>(hFindFile);
  if (!f) return FALSE;
  Guard g(Mutex());
  if (f->next >= f->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *lpFindFileData = f->entries[f->next++];
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) { return TakeHandleOrError<FindObj>(hFindFile); }

}  // extern "C"
