// lbl-serve: the printer application. One PAPPL system, one printer per printer of the state folder's
// machine that has a device, one driver per model of the catalogue; every page goes through the
// Windows driver's library on that machine.
#pragma once

#include <pappl/pappl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ipp/model_facts.h"
#include "ipp/twl_bridge.h"

namespace lblserve {

struct ServeConfig {
  std::string stateDir;
  std::string lblProgram;       // lbl, beside lbl-serve: the server's changes of the state go through it
  int faultTimeoutSeconds = 0;  // how long a job waits for a printer fault to clear; 0: until cancelled
};
const ServeConfig& Config();
void SetConfig(const ServeConfig& config);

// PAPPL opens a printer's device when a job starts and closes it when any job of the printer ends,
// now and then while another job of the printer still writes to it (PAPPL 1.3 may start a job twice,
// or two at once). So PAPPL is given this scheme's device, which is nothing, and each job opens the
// printer's real device itself and closes it when it is done with it.
constexpr char kQueueScheme[] = "lblqueue";
std::string QueueDeviceUri(const std::string& printer);  // lblqueue://NAME

// What the server keeps for one printer.
struct PrinterContext {
  const uint64_t serial;        // one number per context made in this run of the server
  std::string name;
  std::string deviceUri;        // the printer's real device
  std::string port;             // its port on the machine ("" when it is not a printer of the machine)
  // False for a printer added in the web interface until the state has it: PAPPL opened deviceUri
  // itself for the job and its device is used.
  bool ownsDevice = true;
  uint32_t language = 0;        // PrintLanguage
  std::atomic<uint32_t> faults{0};  // TwlFault bits last seen
  std::atomic<bool> deletedForMachine{false};
  // One job at a time reaches the device; what a job's first run printed is the job's result.
  std::mutex output;

  PrinterContext();
  std::shared_ptr<const lblipp::ModelFacts> Facts() const;
  void SetFacts(std::shared_ptr<const lblipp::ModelFacts> facts);

 private:
  mutable std::mutex factsMutex_;
  std::shared_ptr<const lblipp::ModelFacts> facts_;
};
// The context of a printer; null once the printer is gone. Jobs hold it for as long as they run.
std::shared_ptr<PrinterContext> ContextOf(pappl_printer_t* printer);

// A printer the server creates from the machine: its facts and language.
struct PrinterPlan {
  std::string name, deviceUri, port;
  int id = 0;
  uint32_t language = 0;
  std::shared_ptr<const lblipp::ModelFacts> facts;
};

// Drivers: the list PAPPL offers, and the callbacks that fill a printer's driver data.
void RegisterDrivers(pappl_system_t* system);
// The PAPPL driver name of a catalogue driver ("tarnwell_tw-qx"); "" when unknown.
std::string PapplDriverName(const std::string& driver);
// The catalogue model a USB printer's IEEE 1284 device ID names ("" for none): MFG and MDL, a model
// that speaks TWL preferred when CMD names TWL.
std::string DriverForDeviceId(const char* deviceId);
// Creates the PAPPL printer of a plan; null with a log line when PAPPL refuses it.
pappl_printer_t* CreatePrinter(pappl_system_t* system, const PrinterPlan& plan, bool dnssd);
// New facts (stocks, default settings) for a printer the server has, taking effect for its next job
// and in its attributes.
void UpdatePrinter(pappl_printer_t* printer, const PrinterPlan& plan);
// A printer's supplies: its labels, and the ribbon of a thermal-transfer model.
void SetUpSupplies(pappl_printer_t* printer);
// A printer the server itself deletes (the machine lost it, or has it anew): its deletion is not
// taken back to the machine, as one in the web interface is. Before papplPrinterDelete.
void MarkDeletedForMachine(pappl_printer_t* printer);
// The server stops: the printers PAPPL deletes now stay on the machine.
void ShuttingDown();

// Jobs: the raster callbacks and the PDF filter.
void InstallJobCallbacks(pappl_pr_driver_data_t* data);
// The printer's own language as a document format: such documents go to the printer unchanged.
const char* RawFormat(uint32_t language);
// PDF (drawn by Poppler) and pictures (PNG and JPEG, read by lbl print's own decoders).
void RegisterFilters(pappl_system_t* system);

// Writes all of [data, data + size) and checks by the device's own count of the bytes it wrote
// that they went out (PAPPL buffers small writes and reports a failed flush to its log only).
bool WriteConfirmed(pappl_device_t* device, const uint8_t* data, size_t size);

// The lblsim:// device scheme (a simulated printer on a TCP port with its control channel) and the
// lblqueue:// scheme of the printers' PAPPL devices.
void RegisterSchemes();

// The device of one job: the printer's real device, opened by the job and closed when it is done
// (or, for a printer whose device PAPPL opened, PAPPL's).
class JobDevice {
 public:
  JobDevice(pappl_job_t* job, const PrinterContext& ctx, pappl_device_t* papplDevice);
  ~JobDevice();
  JobDevice(const JobDevice&) = delete;
  JobDevice& operator=(const JobDevice&) = delete;
  bool Open();    // true once open
  void Close();
  pappl_device_t* Get() const { return device_; }
  std::string Error() const { return error_; }  // why the last Open failed

 private:
  pappl_job_t* job_;
  const PrinterContext& ctx_;
  pappl_device_t* device_ = nullptr;
  bool own_ = false;
  std::string error_, lastMessage_;
};

// A TWL printer's bridge reaches the job's device through a link the job cuts when an attempt at
// delivery ends (lblipp::CutLink); `control`: the device is a lblsim:// printer with its control
// channel.
std::shared_ptr<lblipp::CutLink> LinkTo(pappl_device_t* device, bool control);

// printer-state-reasons of TWL fault bits.
pappl_preason_t ReasonsOfFaults(uint32_t faults);

}  // namespace lblserve
