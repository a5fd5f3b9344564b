// The lblsim:// scheme (a printer simulated on a TCP port, with its control channel) and the link of
// a TWL printer's bridge to the device PAPPL opened for the job.
#include <cstring>

#include "ipp/serve/serve.h"
#include "ipp/sim_printer.h"

namespace lblserve {

namespace {

// A lblsim:// device: the connection comes back by itself after the printer dropped it, as a USB
// printer that was switched off and on is found again.
struct SimDevice {
  std::string host;
  int port = 0;
  lblipp::SimLink link;
  std::mutex mutex;

  bool Ready() {
    if (link.Connected()) return true;
    std::string error;
    return link.Connect(host, port, 10000, &error);
  }
};

constexpr int kSimTimeoutMs = 10000;

bool SimOpen(pappl_device_t* device, const char* uri, const char* name) {
  (void)name;
  auto sim = std::make_unique<SimDevice>();
  if (!lblipp::SplitHostPort(uri, &sim->host, &sim->port)) {
    papplDeviceError(device, "Bad simulated printer URI '%s'.", uri);
    return false;
  }
  std::string error;
  if (!sim->link.Connect(sim->host, sim->port, kSimTimeoutMs, &error)) {
    papplDeviceError(device, "%s", error.c_str());
    return false;
  }
  papplDeviceSetData(device, sim.release());
  return true;
}

void SimClose(pappl_device_t* device) { delete static_cast<SimDevice*>(papplDeviceGetData(device)); }

ssize_t SimRead(pappl_device_t* device, void* buffer, size_t bytes) {
  (void)device, (void)buffer, (void)bytes;
  return 0;  // replies come through the control channel
}

ssize_t SimWrite(pappl_device_t* device, const void* buffer, size_t bytes) {
  auto* sim = static_cast<SimDevice*>(papplDeviceGetData(device));
  std::lock_guard<std::mutex> g(sim->mutex);
  if (!sim->Ready() || !sim->link.Write(static_cast<const uint8_t*>(buffer), bytes)) return -1;
  return ssize_t(bytes);
}

pappl_preason_t SimStatus(pappl_device_t* device) {
  auto* sim = static_cast<SimDevice*>(papplDeviceGetData(device));
  std::lock_guard<std::mutex> g(sim->mutex);
  return sim->Ready() ? PAPPL_PREASON_NONE : PAPPL_PREASON_OFFLINE;
}

char* SimId(pappl_device_t* device, char* buffer, size_t size) {
  auto* sim = static_cast<SimDevice*>(papplDeviceGetData(device));
  std::lock_guard<std::mutex> g(sim->mutex);
  std::string id;
  if (!sim->Ready() || !sim->link.DeviceId(&id)) return nullptr;
  papplCopyString(buffer, id.c_str(), size);
  return buffer;
}

}  // namespace

void RegisterSimScheme() {
  // PAPPL makes its own schemes (file, socket, usb, ...) on first use, unless a scheme was added
  // before: use them first.
  papplDeviceIsSupported("socket://localhost");
  papplDeviceAddScheme("lblsim", PAPPL_DEVTYPE_CUSTOM_NETWORK, nullptr, SimOpen, SimClose, SimRead, SimWrite, SimStatus,
                       SimId);
}

std::string SimDeviceId(const std::string& deviceUri) {
  SimDevice sim;
  if (!lblipp::SplitHostPort(deviceUri, &sim.host, &sim.port)) return {};
  std::string error, id;
  if (!sim.link.Connect(sim.host, sim.port, 2000, &error) || !sim.link.DeviceId(&id)) return {};
  return id;
}

bool WriteConfirmed(pappl_device_t* device, const uint8_t* data, size_t size) {
  pappl_devmetrics_t before, after;
  papplDeviceFlush(device);
  papplDeviceGetMetrics(device, &before);
  if (papplDeviceWrite(device, data, size) < 0) return false;
  papplDeviceFlush(device);  // errors of a flush show only in the count
  papplDeviceGetMetrics(device, &after);
  return after.write_bytes - before.write_bytes == size;
}

class PapplLink : public lblipp::DeviceLink {
 public:
  explicit PapplLink(bool control) : control_(control) {}

  void SetDevice(pappl_device_t* device) {
    std::lock_guard<std::mutex> g(mutex_);
    device_ = device;
  }

  bool Write(const uint8_t* data, size_t size) override {
    std::lock_guard<std::mutex> g(mutex_);
    return device_ && WriteConfirmed(device_, data, size);
  }

  bool HasControl() const override { return control_; }

  bool VendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) override {
    SimDevice* sim = Sim();
    if (!sim) return false;
    std::lock_guard<std::mutex> g(sim->mutex);
    return sim->Ready() && sim->link.VendorGet(input, reply);
  }

  bool VendorSet(const std::vector<uint8_t>& input) override {
    SimDevice* sim = Sim();
    if (!sim) return false;
    std::lock_guard<std::mutex> g(sim->mutex);
    return sim->Ready() && sim->link.VendorSet(input);
  }

 private:
  SimDevice* Sim() {
    std::lock_guard<std::mutex> g(mutex_);
    return control_ && device_ ? static_cast<SimDevice*>(papplDeviceGetData(device_)) : nullptr;
  }

  const bool control_;
  std::mutex mutex_;
  pappl_device_t* device_ = nullptr;
};

std::shared_ptr<PapplLink> MakeLink(const std::string& deviceUri) {
  return std::make_shared<PapplLink>(deviceUri.rfind("lblsim://", 0) == 0);
}

std::shared_ptr<lblipp::TwlBridge> MakeBridge(const std::shared_ptr<PapplLink>& link) {
  return std::make_shared<lblipp::TwlBridge>(link);
}

void SetLinkDevice(PapplLink& link, pappl_device_t* device) { link.SetDevice(device); }

pappl_preason_t ReasonsOfFaults(uint32_t faults) {
  pappl_preason_t r = PAPPL_PREASON_NONE;
  if (faults & lblipp::kFaultOffline) r |= PAPPL_PREASON_OFFLINE;
  if (faults & lblipp::kFaultPaperOut) r |= PAPPL_PREASON_MEDIA_EMPTY;
  if (faults & lblipp::kFaultHeadOpen) r |= PAPPL_PREASON_COVER_OPEN;
  if (faults & lblipp::kFaultCoverOpen) r |= PAPPL_PREASON_DOOR_OPEN;
  if (faults & lblipp::kFaultPaperJam) r |= PAPPL_PREASON_MEDIA_JAM;
  if (faults & lblipp::kFaultRibbonOut) r |= PAPPL_PREASON_MARKER_SUPPLY_EMPTY;
  if (faults & lblipp::kFaultPaused) r |= PAPPL_PREASON_OTHER;
  return r;
}

}  // namespace lblserve
