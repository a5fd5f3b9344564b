// lbl-serve: the printer application. One PAPPL system, one printer per entry of the printer store,
// one driver per model of the catalogue; every page goes through the Windows driver's library.
#pragma once

#include <pappl/pappl.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ipp/model_facts.h"
#include "ipp/printer_store.h"
#include "ipp/twl_bridge.h"

namespace lblserve {

struct ServeConfig {
  std::string stateDir;
  int faultTimeoutSeconds = 0;  // how long a job waits for a printer fault to clear; 0: until cancelled
};
const ServeConfig& Config();
void SetConfig(const ServeConfig& config);

// The link of a TWL printer's bridge to the device of the job being printed.
class PapplLink;

// What the server keeps for one printer (the driver data's extension).
struct PrinterContext {
  lblipp::ModelFacts facts;
  uint32_t language = 0;  // PrintLanguage
  std::string deviceUri;
  std::shared_ptr<PapplLink> link;         // TWL printers
  std::shared_ptr<lblipp::TwlBridge> bridge;
  std::atomic<uint32_t> faults{0};         // TwlFault bits last seen
  std::vector<std::string> mediaNames;     // what the driver data's media list points to
  // One job at a time reaches the device: PAPPL 1.3 may run several jobs of a printer at once, and
  // now and then one job twice; what a job's first run printed is the job's result.
  std::mutex output;
  std::map<int, bool> printed;  // job id -> the first run's result (under `output`)
};

// Drivers: the list PAPPL offers, and the callbacks that fill a printer's driver data.
void RegisterDrivers(pappl_system_t* system);
// The PAPPL driver name of a catalogue driver ("tarnwell_tw-qx"); "" when unknown.
std::string PapplDriverName(const std::string& driver);
// The catalogue model a USB printer's IEEE 1284 device ID names ("" for none): MFG and MDL, a model
// that speaks TWL preferred when CMD names TWL.
std::string DriverForDeviceId(const char* deviceId);
// The language of the next printer the server creates (from the store); cleared after use.
void SetPendingPrinter(const lblipp::PrinterEntry* entry);
// A new printer's supplies: its labels, and the ribbon of a thermal-transfer model.
void SetUpSupplies(pappl_printer_t* printer);

// Jobs: the raster callbacks and the PDF filter.
void InstallJobCallbacks(pappl_pr_driver_data_t* data);
// The printer's own language as a document format: such documents go to the printer unchanged.
const char* RawFormat(uint32_t language);
// PDF (drawn by Poppler) and pictures (PNG and JPEG, read by lbl print's own decoders).
void RegisterFilters(pappl_system_t* system);

// Writes all of [data, data + size) and checks by the device's own count of the bytes it wrote
// that they went out (PAPPL buffers small writes and reports a failed flush to its log only).
bool WriteConfirmed(pappl_device_t* device, const uint8_t* data, size_t size);

// The lblsim:// device scheme and the TWL printers' link to a device.
void RegisterSimScheme();
std::shared_ptr<PapplLink> MakeLink(const std::string& deviceUri);
std::shared_ptr<lblipp::TwlBridge> MakeBridge(const std::shared_ptr<PapplLink>& link);
// Points the link at the device of the job now printing (nullptr between jobs).
void SetLinkDevice(PapplLink& link, pappl_device_t* device);
// IEEE 1284 device ID of a lblsim:// printer, asked over its control channel; "" when unreachable.
std::string SimDeviceId(const std::string& deviceUri);

// printer-state-reasons of TWL fault bits.
pappl_preason_t ReasonsOfFaults(uint32_t faults);

}  // namespace lblserve
