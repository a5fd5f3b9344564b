#include "ipp/printer_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "tools/state.h"

namespace lblipp {

namespace fs = std::filesystem;

// The folder of lbl's machine, so that --state and the environment choose both the same way.
std::string StateDirectory() { return lbl::StateFolder(); }

std::string PrinterResource(const std::string& name) {
  std::string path = "/ipp/print/";
  if (!name.empty() && std::isdigit(static_cast<unsigned char>(name[0]))) path += '_';
  for (unsigned char c : name) path += c <= ' ' || c == 0x7f || std::strchr("/\\'\"?#", c) ? '_' : char(c);
  return path;
}

bool CheckPrinterName(const std::string& name, std::string* error) {
  if (name.empty() || name.size() > 63) {
    *error = "a printer name has 1 to 63 characters";
    return false;
  }
  if (name[0] == '.' || name[0] == '-') {
    *error = "a printer name starts with a letter, a digit or '_'";
    return false;
  }
  for (unsigned char c : name)
    if (!std::isalnum(c) && c != '-' && c != '_' && c != '.') {
      *error = "a printer name holds letters, digits, '-', '_' and '.' only (not '" + std::string(1, char(c)) + "')";
      return false;
    }
  return true;
}

namespace {

bool HostAndPort(const std::string& rest, std::string* error) {
  // HOST:PORT, HOST without a port only for socket:// (9100).
  const size_t colon = rest.rfind(':');
  if (rest.empty() || colon == 0) {
    *error = "the device URI names no host";
    return false;
  }
  if (colon == std::string::npos) return true;
  const std::string port = rest.substr(colon + 1);
  char* end = nullptr;
  const long n = std::strtol(port.c_str(), &end, 10);
  if (port.empty() || *end || n < 1 || n > 65535) {
    *error = "bad port '" + port + "' in the device URI";
    return false;
  }
  return true;
}

}  // namespace

bool CheckDeviceUri(const std::string& uri, std::string* error) {
  // The URI goes to the printer application and into logs and the web pages as it is.
  for (unsigned char c : uri)
    if (c <= ' ' || c == 0x7f) {
      *error = "a device URI has no spaces or control characters";
      return false;
    }
  const size_t sep = uri.find("://");
  if (sep == std::string::npos) {
    *error = "a device URI looks like usb://MAKE/MODEL?serial=..., socket://HOST:9100, file:///PATH or "
             "lblsim://HOST:PORT";
    return false;
  }
  const std::string scheme = uri.substr(0, sep), rest = uri.substr(sep + 3);
  if (scheme == "file") {
    if (rest.empty() || rest[0] != '/') {
      *error = "a file device URI names an absolute path: file:///PATH";
      return false;
    }
    return true;
  }
  if (scheme == "usb") {
    if (rest.empty()) {
      *error = "a usb device URI names the printer: usb://MAKE/MODEL?serial=...";
      return false;
    }
    return true;
  }
  if (scheme == "socket" || scheme == "lblsim") {
    std::string hostPort = rest.substr(0, rest.find_first_of("/?"));
    if (scheme == "lblsim" && hostPort.find(':') == std::string::npos) {
      *error = "a simulated printer is reached as lblsim://HOST:PORT";
      return false;
    }
    return HostAndPort(hostPort, error);
  }
  *error = "unsupported device URI scheme '" + scheme + "' (usb, socket, file or lblsim)";
  return false;
}

namespace {

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

class FileStore : public PrinterStore {
 public:
  explicit FileStore(std::string dir) : dir_(std::move(dir)) {}

  bool List(std::vector<PrinterEntry>* out, std::string* error) override {
    Lock lock(dir_, false);
    return Read(out, error);
  }

  bool Add(PrinterEntry* entry, std::string* error) override {
    if (!CheckPrinterName(entry->name, error) || !CheckDeviceUri(entry->deviceUri, error)) return false;
    Lock lock(dir_, true);
    if (!lock.ok) return Refuse(error, "cannot create the state folder " + dir_);
    std::vector<PrinterEntry> list;
    if (!Read(&list, error)) return false;
    int next = 1;
    for (const PrinterEntry& e : list) {
      if (SameName(e.name, entry->name)) return Refuse(error, "a printer named \"" + e.name + "\" exists already");
      // The server would serve the new printer at another path than the one announced, and that
      // path would reach the printer already there.
      if (SameName(PrinterResource(e.name), PrinterResource(entry->name)))
        return Refuse(error, "the printer \"" + e.name + "\" is served at " + PrinterResource(e.name) +
                                 " already; choose another name");
      next = std::max(next, e.id + 1);
    }
    entry->id = next;
    list.push_back(*entry);
    return Write(list, error);
  }

  bool Remove(const std::string& name, std::string* error) override {
    Lock lock(dir_, true);
    if (!lock.ok) return Refuse(error, "cannot create the state folder " + dir_);
    std::vector<PrinterEntry> list;
    if (!Read(&list, error)) return false;
    const size_t before = list.size();
    std::erase_if(list, [&](const PrinterEntry& e) { return SameName(e.name, name); });
    if (list.size() == before) return Refuse(error, "no printer named \"" + name + "\"");
    return Write(list, error);
  }

 private:
  // Readers and writers of one folder take turns (an advisory lock on a file beside the store).
  struct Lock {
    int fd = -1;
    bool ok = false;
    Lock(const std::string& dir, bool create) {
      std::error_code ec;
      if (create) fs::create_directories(dir, ec);
      fd = ::open((dir + "/printers.lock").c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
      ok = fd >= 0 || !create;
      if (fd >= 0) ::flock(fd, LOCK_EX);
    }
    ~Lock() {
      if (fd >= 0) ::close(fd);  // releases the lock
    }
  };

  static bool Refuse(std::string* error, std::string message) {
    *error = std::move(message);
    return false;
  }

  std::string Path() const { return dir_ + "/printers.json"; }

  bool Read(std::vector<PrinterEntry>* out, std::string* error) const {
    out->clear();
    std::ifstream in(Path(), std::ios::binary);
    if (!in) return true;  // no store yet: no printers
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    rapidjson::Document doc;
    doc.Parse(text.c_str(), text.size());
    if (doc.HasParseError())
      return Refuse(error, Path() + ": not a printer list (" + rapidjson::GetParseError_En(doc.GetParseError()) +
                               " at byte " + std::to_string(doc.GetErrorOffset()) + ")");
    if (!doc.IsObject() || !doc.HasMember("Printers") || !doc["Printers"].IsArray())
      return Refuse(error, Path() + ": not a printer list (no \"Printers\" array)");
    for (const auto& p : doc["Printers"].GetArray()) {
      auto text = [&](const char* key, bool required, std::string* field) {
        if (!p.IsObject() || !p.HasMember(key)) return !required;
        if (!p[key].IsString()) return false;
        *field = p[key].GetString();
        return true;
      };
      PrinterEntry e;
      if (!text("Name", true, &e.name) || !text("Driver", true, &e.driver) || !text("DeviceUri", true, &e.deviceUri) ||
          !text("Language", false, &e.language) || !p.HasMember("Id") || !p["Id"].IsInt() || p["Id"].GetInt() < 1)
        return Refuse(error, Path() + ": printer " + std::to_string(out->size() + 1) +
                                 " lacks Name, Driver, DeviceUri or a positive Id");
      e.id = p["Id"].GetInt();
      out->push_back(std::move(e));
    }
    return true;
  }

  bool Write(const std::vector<PrinterEntry>& list, std::string* error) const {
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("Printers");
    w.StartArray();
    for (const PrinterEntry& e : list) {
      w.StartObject();
      w.Key("Name");
      w.String(e.name.c_str());
      w.Key("Id");
      w.Int(e.id);
      w.Key("Driver");
      w.String(e.driver.c_str());
      w.Key("DeviceUri");
      w.String(e.deviceUri.c_str());
      if (!e.language.empty()) {
        w.Key("Language");
        w.String(e.language.c_str());
      }
      w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    const std::string tmp = Path() + ".new";
    {
      std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
      out << buffer.GetString() << '\n';
      out.close();
      if (!out) return Refuse(error, "cannot write " + tmp);
    }
    std::error_code ec;
    fs::rename(tmp, Path(), ec);
    if (ec) return Refuse(error, "cannot replace " + Path() + ": " + ec.message());
    return true;
  }

  std::string dir_;
};

}  // namespace

std::unique_ptr<PrinterStore> OpenFileStore(const std::string& directory) {
  return std::make_unique<FileStore>(directory);
}

}  // namespace lblipp
