#include "serve_fixture.h"

#include "free_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "tools/viewer/png.h"
#include "tools/viewer/viewer.h"

namespace ipptest {

bool JobInfo::Has(const std::string& reason) const {
  return std::find(reasons.begin(), reasons.end(), reason) != reasons.end();
}

Server::Server(const std::string& name) {
  dir_ = testing::TempDir() + "/ipp_serve_" + std::to_string(getpid()) + "_" + name;
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(StateDir());
}

Server::~Server() {
  Stop();
  if (!testing::Test::HasFailure() && !std::getenv("IPP_TEST_KEEP")) std::filesystem::remove_all(dir_);
}

void Server::AddPrinter(const std::string& name, const std::string& driver, const std::string& uri,
                        const std::string& language) {
  const auto ran = RunLbl("printer add " + name + " --model \"" + driver + "\" --device '" + uri + "'" +
                          (language.empty() ? "" : " --language " + language));
  ASSERT_EQ(ran.status, 0) << ran.err;
  printers_.push_back(name);
}

lbltest::Ran Server::RunLbl(const std::string& args) const {
  return lbltest::RunLbl("LBL_STATE_DIR='" + StateDir() + "' " LBL_EXE, args, dir_ + "/lbl.err");
}

bool Server::Start(const std::vector<std::string>& extra) {
  // The port is free when chosen; should another program take it first, the server ends at once and
  // the next try takes another.
  for (int attempt = 0; attempt < 3; ++attempt) {
    port_ = FreePort();
    const std::string log = dir_ + "/serve.log";
    std::vector<std::string> args = {LBL_SERVE_EXE, "--port", std::to_string(port_), "--log", log};
    args.insert(args.end(), extra.begin(), extra.end());
    ended_ = -1;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setenv("LBL_STATE_DIR", StateDir().c_str(), 1);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    bool up = true;
    for (const auto& p : printers_) up = up && WaitPrinter(p, 30);
    for (int i = 0; up && i < 300; ++i) {
      if (http_t* http = Connect()) {
        httpClose(http);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (pid_ > 0) return false;  // running, but not answering
  }
  return false;
}

void Server::Stop() {
  // A server that ended before it was told to, or that crashed on its way out or ended with an error
  // (a sanitizer's report), fails the test.
  auto describe = [](int status) {
    return WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status)) : "exit " + std::to_string(WEXITSTATUS(status));
  };
  if (pid_ > 0 && ::waitpid(pid_, &ended_, WNOHANG) == pid_) pid_ = -1;
  if (pid_ <= 0) {
    if (ended_ != -1) ADD_FAILURE() << "lbl-serve ended while the test ran (" << describe(ended_) << ")\n" << Log();
    ended_ = -1;
    return;
  }
  int status = 0;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0) && !(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM))
        ADD_FAILURE() << "lbl-serve did not end cleanly (" << describe(status) << ")\n" << Log();
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string Server::Uri(const std::string& printer) const {
  return "ipp://localhost:" + std::to_string(port_) + "/ipp/" + (printer.empty() ? "system" : "print/" + printer);
}

std::string Server::Log() const {
  std::ifstream in(dir_ + "/serve.log");
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

http_t* Server::Connect() {
  return httpConnect2("localhost", port_, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr);
}

namespace {

ipp_t* NewRequest(ipp_op_t op, const std::string& uri) {
  ipp_t* r = ippNewRequest(op);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "tester");
  return r;
}

std::string Resource(const std::string& uri) { return uri.substr(uri.find("/ipp/")); }

}  // namespace

bool Server::HasPrinter(const std::string& printer) {
  if (pid_ > 0 && ::waitpid(pid_, &ended_, WNOHANG) == pid_) pid_ = -1;  // Stop() reports it
  http_t* http = pid_ > 0 ? Connect() : nullptr;
  if (!http) return false;
  ipp_t* response = cupsDoRequest(http, NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, Uri(printer)), Resource(Uri(printer)).c_str());
  const bool ok = response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE;
  ippDelete(response);
  httpClose(http);
  return ok;
}

bool Server::ListPrinters(const char* attribute, std::map<std::string, std::string>* printers) {
  printers->clear();
  if (pid_ > 0 && ::waitpid(pid_, &ended_, WNOHANG) == pid_) pid_ = -1;  // Stop() reports it
  http_t* http = pid_ > 0 ? Connect() : nullptr;
  if (!http) return false;
  ipp_t* r = ippNewRequest(IPP_OP_GET_PRINTERS);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr, Uri("").c_str());
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "tester");
  const char* names[] = {"printer-name", attribute ? attribute : "printer-name"};
  ippAddStrings(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, names);
  ipp_t* response = cupsDoRequest(http, r, "/ipp/system");
  httpClose(http);
  const bool answered = response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE;
  if (answered) {
    // One group of attributes per printer, separated by an attribute without a name.
    std::string name, values;
    auto endGroup = [&] {
      if (!name.empty()) printers->emplace(name, values);
      name.clear();
      values.clear();
    };
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
      const char* attr = ippGetName(a);
      if (!attr || ippGetGroupTag(a) != IPP_TAG_PRINTER) {
        endGroup();
        continue;
      }
      if (!std::strcmp(attr, "printer-name")) {
        const char* text = ippGetString(a, 0, nullptr);
        name = text ? text : "";
      }
      if (attribute && !std::strcmp(attr, attribute)) {
        char text[4096];
        ippAttributeString(a, text, sizeof text);
        values = text;
      }
    }
    endGroup();
  }
  ippDelete(response);
  return answered;
}

bool Server::Listed(const std::string& printer, const char* attribute, std::string* value) {
  if (value) value->clear();
  std::map<std::string, std::string> printers;
  if (!ListPrinters(attribute, &printers)) return false;
  const auto found = printers.find(printer);
  if (found == printers.end()) return false;
  if (value) *value = found->second;
  return true;
}

bool Server::Unlisted(const std::string& printer) {
  std::map<std::string, std::string> printers;
  return ListPrinters(nullptr, &printers) && !printers.count(printer);
}

bool Server::WaitPrinter(const std::string& printer, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!HasPrinter(printer)) {
    if (pid_ <= 0 || std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

int Server::Print(const std::string& printer, const std::string& file, const std::string& format,
                  const std::function<void(ipp_t*)>& attrs, ipp_status_t* status) {
  http_t* http = Connect();
  if (!http) return 0;
  ipp_t* r = NewRequest(IPP_OP_PRINT_JOB, Uri(printer));
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
               std::filesystem::path(file).filename().string().c_str());
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, format.c_str());
  if (attrs) attrs(r);
  ipp_t* response = cupsDoFileRequest(http, r, Resource(Uri(printer)).c_str(), file.c_str());
  if (status) *status = response ? ippGetStatusCode(response) : cupsLastError();
  int id = 0;
  if (response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE)
    if (ipp_attribute_t* a = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER)) id = ippGetInteger(a, 0);
  ippDelete(response);
  httpClose(http);
  return id;
}

JobInfo Server::Job(const std::string& printer, int id) {
  JobInfo info;
  info.id = id;
  http_t* http = Connect();
  if (!http) return info;
  ipp_t* r = NewRequest(IPP_OP_GET_JOB_ATTRIBUTES, Uri(printer));
  ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
  static const char* const kWanted[] = {"job-state", "job-state-reasons", "job-state-message",
                                        "job-printer-state-message"};
  ippAddStrings(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, kWanted);
  ipp_t* response = cupsDoRequest(http, r, Resource(Uri(printer)).c_str());
  if (response) {
    if (ipp_attribute_t* a = ippFindAttribute(response, "job-state", IPP_TAG_ENUM)) info.state = ippGetInteger(a, 0);
    info.reasons = Values(response, "job-state-reasons");
    for (const char* name : {"job-state-message", "job-printer-state-message"}) {
      const auto m = Values(response, name);
      if (!m.empty() && !m[0].empty()) info.message = m[0];
    }
  }
  ippDelete(response);
  httpClose(http);
  return info;
}

ipp_status_t Server::Cancel(const std::string& printer, int id) {
  http_t* http = Connect();
  if (!http) return IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
  ipp_t* r = NewRequest(IPP_OP_CANCEL_JOB, Uri(printer));
  ippAddInteger(r, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
  ipp_t* response = cupsDoRequest(http, r, Resource(Uri(printer)).c_str());
  const ipp_status_t status = response ? ippGetStatusCode(response) : cupsLastError();
  ippDelete(response);
  httpClose(http);
  return status;
}

JobInfo Server::WaitJob(const std::string& printer, int id, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  JobInfo info;
  while (std::chrono::steady_clock::now() < until) {
    info = Job(printer, id);
    if (info.state >= IPP_JSTATE_CANCELED) return info;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return info;
}

ipp_t* Server::Attributes(const std::string& printer, const std::vector<const char*>& names) {
  http_t* http = Connect();
  if (!http) return nullptr;
  ipp_t* r = NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, Uri(printer));
  if (!names.empty())
    ippAddStrings(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(names.size()), nullptr, names.data());
  ipp_t* response = cupsDoRequest(http, r, Resource(Uri(printer)).c_str());
  httpClose(http);
  return response;
}

ipp_status_t Server::SetAttributes(const std::string& printer, const std::function<void(ipp_t*)>& attrs) {
  http_t* http = Connect();
  if (!http) return IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
  ipp_t* r = NewRequest(IPP_OP_SET_PRINTER_ATTRIBUTES, Uri(printer));
  attrs(r);
  ipp_t* response = cupsDoRequest(http, r, Resource(Uri(printer)).c_str());
  const ipp_status_t status = response ? ippGetStatusCode(response) : cupsLastError();
  ippDelete(response);
  httpClose(http);
  return status;
}

ipp_status_t Server::CreatePrinter(const std::string& name, const std::string& driverKey, const std::string& deviceUri) {
  http_t* http = Connect();
  if (!http) return IPP_STATUS_ERROR_SERVICE_UNAVAILABLE;
  ipp_t* r = ippNewRequest(IPP_OP_CREATE_PRINTER);
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr, Uri("").c_str());
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "tester");
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "printer-service-type", nullptr, "print");
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "smi55357-driver", nullptr, driverKey.c_str());
  ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_URI, "smi55357-device-uri", nullptr, deviceUri.c_str());
  ippAddString(r, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-name", nullptr, name.c_str());
  ipp_t* response = cupsDoRequest(http, r, "/ipp/system");
  const ipp_status_t status = response ? ippGetStatusCode(response) : cupsLastError();
  ippDelete(response);
  httpClose(http);
  return status;
}

std::vector<std::string> Server::PrinterReasons(const std::string& printer) {
  ipp_t* a = Attributes(printer);
  auto out = Values(a, "printer-state-reasons");
  ippDelete(a);
  return out;
}

std::vector<std::string> Values(ipp_t* response, const char* name) {
  std::vector<std::string> out;
  ipp_attribute_t* a = response ? ippFindAttribute(response, name, IPP_TAG_ZERO) : nullptr;
  for (int i = 0; a && i < ippGetCount(a); ++i) {
    const ipp_tag_t tag = ippGetValueTag(a);
    if (tag == IPP_TAG_INTEGER || tag == IPP_TAG_ENUM) {
      out.push_back(std::to_string(ippGetInteger(a, i)));
    } else if (tag == IPP_TAG_RANGE) {
      int upper = 0;
      const int lower = ippGetRange(a, i, &upper);
      out.push_back(std::to_string(lower) + "-" + std::to_string(upper));
    } else if (tag == IPP_TAG_BEGIN_COLLECTION) {
      char buf[4096];
      ippAttributeString(a, buf, sizeof buf);  // all values at once
      return {buf};
    } else {
      const char* s = ippGetString(a, i, nullptr);
      out.push_back(s ? s : "");
    }
  }
  return out;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string WritePicture(const std::string& path, uint32_t w, uint32_t h, int seed) {
  lblview::RgbImage img;
  img.width = w;
  img.height = h;
  img.rgb.resize(size_t(w) * h * 3);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t v = 255;
      if (x < 6 || y < 6 || x + 6 >= w || y + 6 >= h) v = 0;
      else if (y < h / 2 && ((x + uint32_t(seed) * 7) / 9) % 3 == 0) v = 0;
      else if (y > (h * 2) / 3) v = uint8_t(x * 255 / w);
      for (int c = 0; c < 3; ++c) img.rgb[(size_t(y) * w + x) * 3 + c] = v;
    }
  const auto png = lblview::EncodeRgbPng(img);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  return path;
}

}  // namespace ipptest
