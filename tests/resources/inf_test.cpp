// The generated driver package INF, read the way the setup API reads INF files: sections, keys,
// comma-separated fields, quoted strings, %strkey% substitution from [Strings], comments and line
// continuations. Its file references are resolved against the package folder list the package
// target assembles (resources/package_files.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <rapidjson/document.h>

#include "installer/model_table.h"
#include "resources/catalogue_blob.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::string ReadFile(const char* path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct InfLine {
  std::string key;  // empty for a line without "="
  std::vector<std::string> fields;
};

class Inf {
 public:
  explicit Inf(const std::string& text) {
    std::vector<std::pair<std::string, std::vector<RawLine>>> raw;
    std::string logical;
    std::istringstream in(text);
    for (std::string physical; std::getline(in, physical);) {
      if (!physical.empty() && physical.back() == '\r') physical.pop_back();
      logical += physical;
      // A backslash ending the line outside quotes and comments joins the next line.
      std::string body = StripComment(logical);
      std::string t = Trim(body);
      if (!t.empty() && t.back() == '\\') {
        logical = body.substr(0, body.find_last_of('\\'));
        continue;
      }
      logical.clear();
      if (t.empty()) continue;
      if (t.front() == '[') {
        size_t close = t.find(']');
        raw.push_back({Lower(Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1))), {}});
        continue;
      }
      if (raw.empty()) continue;  // text before the first section is ignored
      raw.back().second.push_back(SplitLine(t));
    }
    // [Strings] first: its values are what %strkey% tokens stand for everywhere else.
    for (const auto& [name, lines] : raw)
      if (name == "strings")
        for (const auto& l : lines)
          if (l.hasKey && !l.fields.empty()) strings_[Lower(Unquote(l.key))] = Unquote(l.fields[0]);
    for (const auto& [name, lines] : raw) {
      auto& section = sections_[name];
      for (const auto& l : lines) {
        InfLine line;
        if (l.hasKey) line.key = Subst(Unquote(l.key));
        for (const auto& f : l.fields) line.fields.push_back(Subst(Unquote(f)));
        section.push_back(std::move(line));
      }
    }
  }

  bool Has(const std::string& section) const { return sections_.count(Lower(section)) != 0; }
  const std::vector<InfLine>& Lines(const std::string& section) const {
    static const std::vector<InfLine> none;
    auto it = sections_.find(Lower(section));
    return it == sections_.end() ? none : it->second;
  }
  // The fields of the first line with that key (keys compare without case); empty when absent.
  std::vector<std::string> Fields(const std::string& section, const std::string& key) const {
    for (const auto& l : Lines(section))
      if (Lower(l.key) == Lower(key)) return l.fields;
    return {};
  }
  std::string Value(const std::string& section, const std::string& key) const {
    auto f = Fields(section, key);
    return f.empty() ? "" : f[0];
  }
  // A platform-decorated section ("Name.amd64") where there is one, else the plain one.
  std::string Decorated(const std::string& section, const std::string& decoration) const {
    std::string d = section + "." + decoration;
    return Has(d) ? d : section;
  }
  std::vector<std::string> UnknownStrings() const { return unknown_; }

 private:
  struct RawLine {
    bool hasKey = false;
    std::string key;
    std::vector<std::string> fields;  // still quoted, not yet substituted
  };

  static std::string StripComment(const std::string& s) {
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '"') quoted = !quoted;
      if (s[i] == ';' && !quoted) return s.substr(0, i);
    }
    return s;
  }

  // Splits at "=" and "," outside double quotes; fields are trimmed.
  static RawLine SplitLine(const std::string& s) {
    RawLine line;
    std::string cur;
    bool quoted = false;
    for (char c : s) {
      if (c == '"') quoted = !quoted;
      if (!quoted && c == '=' && !line.hasKey && line.fields.empty()) {
        line.hasKey = true;
        line.key = Trim(cur);
        cur.clear();
      } else if (!quoted && c == ',') {
        line.fields.push_back(Trim(cur));
        cur.clear();
      } else {
        cur += c;
      }
    }
    line.fields.push_back(Trim(cur));
    return line;
  }

  // Removes the quotes of quoted parts; "" inside quotes is one quote character.
  static std::string Unquote(const std::string& s) {
    std::string out;
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] != '"') {
        out += s[i];
      } else if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
        out += '"';
        ++i;
      } else {
        quoted = !quoted;
      }
    }
    return out;
  }

  // %strkey% from [Strings]; %% is one percent sign.
  std::string Subst(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
      size_t end = s[i] == '%' ? s.find('%', i + 1) : std::string::npos;
      if (end == std::string::npos) {
        out += s[i];
        continue;
      }
      std::string key = s.substr(i + 1, end - i - 1);
      if (key.empty()) {
        out += '%';
      } else if (auto it = strings_.find(Lower(key)); it != strings_.end()) {
        out += it->second;
      } else {
        unknown_.push_back(key);
        out += s.substr(i, end - i + 1);
      }
      i = end;
    }
    return out;
  }

  std::map<std::string, std::vector<InfLine>> sections_;  // by lower-case name
  std::map<std::string, std::string> strings_;
  std::vector<std::string> unknown_;
};

// The package folder as the package target builds it: folder ("." the root) -> lower-case file names.
std::map<std::string, std::set<std::string>> PackageFolders() {
  std::map<std::string, std::set<std::string>> folders;
  std::istringstream in(ReadFile(LBL_PACKAGE_FILES_PATH));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::istringstream files(line.substr(colon + 1));
    auto& set = folders[Trim(line.substr(0, colon))];
    for (std::string f; files >> f;) set.insert(Lower(f));
  }
  return folders;
}

// A source path of SourceDisksNames and a subdirectory of SourceDisksFiles, as one folder of the
// package: backslashes become slashes, leading and trailing ones go, the root is ".".
std::string PackageFolder(const std::string& path, const std::string& subdir) {
  std::string joined = path + "\\" + subdir, out;
  for (char c : joined) {
    char s = c == '\\' ? '/' : c;
    if (s == '/' && (out.empty() || out.back() == '/')) continue;
    out += s;
  }
  if (!out.empty() && out.back() == '/') out.pop_back();
  return out.empty() ? "." : Lower(out);
}

struct CopiedFile {
  std::string target;  // name in the destination folder
  std::string source;  // name in the source folder
  std::string dirid;   // the destination's directory id
};

// Every file the install section's CopyFiles entries copy, with its destination directory id.
std::vector<CopiedFile> CopiedFiles(const Inf& inf, const std::string& install) {
  auto dirid = [&](const std::string& section) {
    std::string d = inf.Value("DestinationDirs", section);
    return d.empty() ? inf.Value("DestinationDirs", "DefaultDestDir") : d;
  };
  std::vector<CopiedFile> files;
  for (const auto& l : inf.Lines(install)) {
    if (Lower(l.key) != "copyfiles") continue;
    for (const auto& entry : l.fields) {
      if (!entry.empty() && entry[0] == '@') {  // one file, to the default destination
        files.push_back({entry.substr(1), entry.substr(1), dirid("DefaultDestDir")});
        continue;
      }
      EXPECT_TRUE(inf.Has(entry)) << "CopyFiles names a missing section " << entry;
      for (const auto& f : inf.Lines(entry)) {
        // destination-file-name[,source-file-name][,unused][,flags]
        EXPECT_TRUE(f.key.empty()) << entry << ": a file list line has no key";
        if (f.fields.empty() || f.fields[0].empty()) continue;
        std::string source = f.fields.size() > 1 && !f.fields[1].empty() ? f.fields[1] : f.fields[0];
        files.push_back({f.fields[0], source, dirid(entry)});
      }
    }
  }
  return files;
}

std::string PnpIdOf(const std::string& model) {
  rapidjson::Document doc;
  doc.Parse(reinterpret_cast<const char*>(g_CatalogueJson), g_CatalogueJsonSize);
  for (const auto& v : doc["Venders"].GetArray())
    for (const auto& m : v["Models"].GetArray())
      if (model == m["Model Name"].GetString()) return m["PnP ID"].GetString();
  return "";
}

// Manufacturer decorations and the architecture names of the other platform-decorated sections,
// with the package folder the installer takes that architecture's binaries from.
struct Arch {
  const char* models;   // "NTamd64"
  const char* sources;  // "amd64"
  const char* folder;   // "amd64"
};
constexpr Arch kArchs[] = {{"NTamd64", "amd64", "amd64"}, {"NTx86", "x86", "i386"}};

class PackageInf : public ::testing::Test {
 protected:
  void SetUp() override {
    text = ReadFile(LBL_INF_PATH);
    ASSERT_FALSE(text.empty());
  }
  // The install section every model uses (checked by the model test), decorated for the architecture.
  std::string Install(const Arch& arch) const {
    auto rows = inf.Lines(std::string("Tarnwell.") + arch.models);
    return rows.empty() || rows[0].fields.empty() ? "" : inf.Decorated(rows[0].fields[0], arch.models);
  }
  std::string text;
  Inf inf{ReadFile(LBL_INF_PATH)};
};

TEST(InfReader, ReadsTheDocumentedSyntax) {
  Inf inf(
      "; comment\r\n"
      "[Strings]\r\n"
      "Name = \"Acme; Monitor,x.dll\"\r\n"
      "Q=\"say \"\"hi\"\"\"\r\n"
      "[ sec ]\r\n"
      "  key = a , \"b, c\" ,, %name% ; trailing comment\r\n"
      "file.dll,,,0x20\r\n"
      "%NAME% = 100%%\r\n"
      "long = one, \\\r\n"
      "  two\r\n"
      "q = %Q%, %missing%\r\n");
  EXPECT_EQ(inf.Fields("SEC", "KEY"), (std::vector<std::string>{"a", "b, c", "", "Acme; Monitor,x.dll"}));
  ASSERT_EQ(inf.Lines("sec").size(), 5u);
  EXPECT_EQ(inf.Lines("sec")[1].key, "");
  EXPECT_EQ(inf.Lines("sec")[1].fields, (std::vector<std::string>{"file.dll", "", "", "0x20"}));
  EXPECT_EQ(inf.Value("sec", "Acme; Monitor,x.dll"), "100%");
  EXPECT_EQ(inf.Fields("sec", "long"), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(inf.Fields("sec", "q"), (std::vector<std::string>{"say \"hi\"", "%missing%"}));
  EXPECT_EQ(inf.UnknownStrings(), std::vector<std::string>{"missing"});
  EXPECT_EQ(PackageFolder("\\amd64", ""), "amd64");
  EXPECT_EQ(PackageFolder("", "\\Sub\\Dir\\"), "sub/dir");
  EXPECT_EQ(PackageFolder("", ""), ".");
}

TEST_F(PackageInf, IsAPrinterClassPackageOfTheProductVersion) {
  EXPECT_EQ(inf.Value("Version", "Signature"), "$Windows NT$");
  EXPECT_EQ(inf.Value("Version", "Class"), "Printer");
  EXPECT_EQ(Lower(inf.Value("Version", "ClassGUID")), "{4d36e979-e325-11ce-bfc1-08002be10318}");
  EXPECT_EQ(inf.Value("Version", "Provider"), kProviderName);
  // DriverVer=mm/dd/yyyy,version: the product version, whose first three parts are its date.
  auto ver = inf.Fields("Version", "DriverVer");
  ASSERT_EQ(ver.size(), 2u);
  EXPECT_EQ(ver[1], LBL_PRODUCT_VERSION);
  unsigned mo = 0, d = 0, y = 0, vy = 0, vm = 0, vd = 0, vb = 0;
  ASSERT_EQ(std::sscanf(ver[0].c_str(), "%2u/%2u/%4u", &mo, &d, &y), 3) << ver[0];
  EXPECT_EQ(ver[0].size(), 10u) << ver[0];
  ASSERT_EQ(std::sscanf(LBL_PRODUCT_VERSION, "%u.%u.%u.%u", &vy, &vm, &vd, &vb), 4);
  EXPECT_EQ(y, vy);
  EXPECT_EQ(mo, vm);
  EXPECT_EQ(d, vd);
  EXPECT_TRUE(inf.UnknownStrings().empty()) << inf.UnknownStrings()[0];
  // Every line ends in CR LF, as the setup API reads INF files of any origin.
  for (size_t i = text.find('\n'); i != std::string::npos; i = text.find('\n', i + 1)) ASSERT_EQ(text[i - 1], '\r');
}

TEST_F(PackageInf, ListsEveryModelTableRowForBothArchitecturesWithItsHardwareId) {
  auto manufacturer = inf.Fields("Manufacturer", kProviderName);
  ASSERT_FALSE(manufacturer.empty());
  EXPECT_EQ(manufacturer[0], "Tarnwell");
  for (const auto& arch : kArchs) {
    SCOPED_TRACE(arch.models);
    EXPECT_NE(std::find(manufacturer.begin() + 1, manufacturer.end(), arch.models), manufacturer.end());
    const auto& rows = inf.Lines(manufacturer[0] + "." + arch.models);
    size_t models = 0;
    for (const auto& row : kModelTable) {
      if (!*row.model) break;
      ++models;
      std::string pnp = PnpIdOf(row.model);
      ASSERT_EQ(pnp.size(), 4u) << row.model;
      auto fields = inf.Fields(manufacturer[0] + "." + arch.models, std::string(row.vendor) + " " + row.model);
      ASSERT_GE(fields.size(), 2u) << row.model;
      EXPECT_TRUE(inf.Has(inf.Decorated(fields[0], arch.models))) << fields[0];
      EXPECT_EQ(fields[1], std::string("USBPRINT\\") + row.vendor + row.model + pnp);
    }
    EXPECT_EQ(models, 7u);
    EXPECT_EQ(rows.size(), models);
  }
}

TEST_F(PackageInf, EveryCopiedFileComesFromAFolderOfThePackage) {
  auto folders = PackageFolders();
  ASSERT_TRUE(folders["."].count("lblv6.inf"));  // source paths are relative to the INF's folder
  for (const auto& arch : kArchs) {
    SCOPED_TRACE(arch.models);
    std::string install = Install(arch);
    auto files = CopiedFiles(inf, install);
    ASSERT_GE(files.size(), 4u) << install;
    for (const auto& f : files) {
      std::string disks = inf.Decorated("SourceDisksFiles", arch.sources);
      auto where = inf.Fields(disks, f.source);
      if (where.empty()) where = inf.Fields("SourceDisksFiles", f.source);
      ASSERT_FALSE(where.empty()) << f.source << " has no SourceDisksFiles entry";
      // diskid = disk-description,tag-or-cab-file,unused,path
      auto disk = inf.Fields(inf.Decorated("SourceDisksNames", arch.sources), where[0]);
      ASSERT_FALSE(disk.empty()) << f.source << ": no source disk " << where[0];
      std::string folder = PackageFolder(disk.size() > 3 ? disk[3] : "", where.size() > 1 ? where[1] : "");
      EXPECT_TRUE(folders[folder].count(Lower(f.source))) << f.source << " is not in the package folder " << folder;
      if (Lower(f.source).ends_with(".dll")) {
        EXPECT_EQ(folder, arch.folder) << f.source;
      }
    }
  }
}

TEST_F(PackageInf, DriverFilesGoToTheDriverDirectoryAndTheMonitorToSystem32) {
  for (const auto& arch : kArchs) {
    SCOPED_TRACE(arch.models);
    std::string install = Install(arch);
    auto files = CopiedFiles(inf, install);
    auto copiedTo = [&](const std::string& name, const std::string& dirid) {
      return std::any_of(files.begin(), files.end(),
                         [&](const CopiedFile& f) { return Lower(f.target) == Lower(name) && f.dirid == dirid; });
    };
    std::string data = inf.Value(install, "DataSection");
    ASSERT_TRUE(inf.Has(data)) << data;
    EXPECT_EQ(inf.Value(data, "DriverFile"), "lbldrv6.dll");
    EXPECT_EQ(inf.Value(data, "ConfigFile"), "lbldrv6ui.dll");
    EXPECT_EQ(inf.Value(data, "DataFile"), "lbldrv6.dat");
    for (const char* file : {"lbldrv6.dll", "lbldrv6ui.dll", "lbldrv6.dat"}) {
      EXPECT_TRUE(copiedTo(file, "66000")) << file;
      EXPECT_FALSE(copiedTo(file, "66002")) << file;
    }
    // The monitor: where the spooler loads it, and among the driver's dependent files.
    EXPECT_TRUE(copiedTo("lblmon.dll", "66002"));
    EXPECT_TRUE(copiedTo("lblmon.dll", "66000"));
    for (const auto& f : files) EXPECT_TRUE(f.dirid == "66000" || f.dirid == "66002") << f.target << " " << f.dirid;
    // LanguageMonitor="display name,DLL name": one field.
    auto monitor = inf.Fields(install, "LanguageMonitor");
    ASSERT_EQ(monitor.size(), 1u);
    EXPECT_EQ(monitor[0], std::string(kLanguageMonitorName) + ",lblmon.dll");
  }
}

// x64 Windows installs a package only with a signed catalog, which Inf2Cat makes from the file that
// [Version] names; a platform-decorated CatalogFile would replace it for that platform.
TEST_F(PackageInf, NamesOneCatalogForTheWholePackage) {
  auto catalog = inf.Fields("Version", "CatalogFile");
  ASSERT_EQ(catalog.size(), 1u);
  EXPECT_EQ(catalog[0], "lblv6.cat");
  EXPECT_EQ(catalog[0].find_first_of("\\/:"), std::string::npos) << "a file name in the INF's folder";
  for (const auto& l : inf.Lines("Version")) {
    EXPECT_FALSE(Lower(l.key).starts_with("catalogfile.")) << l.key;
  }
  // The catalog is made beside the INF, not installed by it.
  for (const auto& arch : kArchs)
    for (const auto& f : CopiedFiles(inf, Install(arch))) EXPECT_NE(Lower(f.source), "lblv6.cat") << arch.models;
}

// DriverIsolation=2 lets the spooler run the driver in an isolation host; left out, it counts as 0 and
// the driver runs inside the spooler.
TEST_F(PackageInf, EveryModelSupportsDriverIsolation) {
  for (const auto& arch : kArchs) {
    auto models = inf.Lines(std::string("Tarnwell.") + arch.models);
    ASSERT_FALSE(models.empty()) << arch.models;
    for (const auto& row : models) {
      ASSERT_FALSE(row.fields.empty()) << row.key;
      std::string install = inf.Decorated(row.fields[0], arch.models);
      EXPECT_EQ(inf.Fields(install, "DriverIsolation"), std::vector<std::string>{"2"}) << row.key << " " << install;
    }
  }
}

TEST_F(PackageInf, IsPackageAwareForEachArchitecture) {
  for (const auto& arch : kArchs) {
    std::string section = std::string("PrinterPackageInstallation.") + arch.sources;
    ASSERT_TRUE(inf.Has(section)) << section;
    EXPECT_EQ(Lower(inf.Value(section, "PackageAware")), "true") << section;
  }
}

}  // namespace
