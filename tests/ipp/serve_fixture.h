// lbl-serve run as a user runs it, on a loopback port chosen free at run time, with a state folder of
// the test's own; and the IPP client calls of the tests (CUPS' library).
#pragma once

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tools/run_lbl.h"

namespace ipptest {

// A job as Get-Job-Attributes reports it.
struct JobInfo {
  int id = 0;
  int state = 0;  // IPP_JSTATE_*
  std::vector<std::string> reasons;
  std::string message;
  bool Has(const std::string& reason) const;
};

class Server {
 public:
  explicit Server(const std::string& name);  // the state folder is a fresh one named after `name`
  ~Server();
  // Printers are added with lbl printer add on the server's state folder, before the start or while
  // the server runs (it picks them up).
  void AddPrinter(const std::string& name, const std::string& driver, const std::string& uri,
                  const std::string& language = "");
  // lbl with the server's state folder.
  lbltest::Ran RunLbl(const std::string& args) const;
  // Starts lbl-serve and waits until every printer of the store answers. Extra arguments after
  // --port and --log.
  bool Start(const std::vector<std::string>& extra = {});
  void Stop();

  std::string Uri(const std::string& printer) const;
  std::string StateDir() const { return dir_ + "/state"; }
  std::string Dir() const { return dir_; }
  std::string Log() const;
  int Port() const { return port_; }

  // Print-Job of `file` as `format`; `attrs` adds job template attributes. 0 when refused
  // (*status gets the IPP status either way).
  int Print(const std::string& printer, const std::string& file, const std::string& format,
            const std::function<void(ipp_t*)>& attrs = {}, ipp_status_t* status = nullptr);
  JobInfo Job(const std::string& printer, int id);
  // Cancel-Job; the IPP status.
  ipp_status_t Cancel(const std::string& printer, int id);
  // Waits until the job is completed, aborted or canceled (or `seconds` pass).
  JobInfo WaitJob(const std::string& printer, int id, int seconds = 60);
  // Get-Printer-Attributes: those named, else the default set; the caller deletes the answer.
  ipp_t* Attributes(const std::string& printer, const std::vector<const char*>& names = {});
  std::vector<std::string> PrinterReasons(const std::string& printer);
  // Set-Printer-Attributes with the printer attributes `attrs` adds; the IPP status.
  ipp_status_t SetAttributes(const std::string& printer, const std::function<void(ipp_t*)>& attrs);
  // Create-Printer on the system, as the web interface's Add Printer page does ("tarnwell_tw-qd" for
  // the driver "Tarnwell TW-QD"); the IPP status.
  ipp_status_t CreatePrinter(const std::string& name, const std::string& driverKey, const std::string& deviceUri);
  // Whether the server has the printer now; waiting up to `seconds` for it.
  bool HasPrinter(const std::string& printer);
  bool WaitPrinter(const std::string& printer, int seconds);
  // Whether Get-Printers on the system lists the printer; `value` gets `attribute`'s values of it, comma
  // separated. PAPPL 1.3.1 frees a deleted printer at once, and a request to the printer's own URI in
  // that moment can use it freed (the server keeps that moment small, it cannot close it); the listing
  // reads every printer under the server's lock. Polls across a removal use this.
  bool Listed(const std::string& printer, const char* attribute = nullptr, std::string* value = nullptr);
  // Whether the server answered Get-Printers without the printer: a server that does not answer (ended,
  // hung, refusing) does not count as having removed it.
  bool Unlisted(const std::string& printer);

 private:
  http_t* Connect();
  // Get-Printers: every printer listed, by name, with `attribute`'s values; false when the server did
  // not answer it.
  bool ListPrinters(const char* attribute, std::map<std::string, std::string>* printers);
  std::string dir_;
  std::vector<std::string> printers_;
  int port_ = 0;
  pid_t pid_ = -1;
  int ended_ = -1;  // wait status of a server found ended before Stop()
};

// Strings of an attribute, as text.
std::vector<std::string> Values(ipp_t* response, const char* name);

std::vector<uint8_t> ReadBytes(const std::string& path);
// A label picture of w x h pixels as PNG: a frame, bars and a grey ramp (so that dithering and
// darkness matter). Returns `path`.
std::string WritePicture(const std::string& path, uint32_t w, uint32_t h, int seed = 0);

}  // namespace ipptest
