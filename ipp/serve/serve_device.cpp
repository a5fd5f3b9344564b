// Devices: the lblsim:// scheme (a printer simulated on a TCP port, with its control channel), the
// lblqueue:// scheme PAPPL's printers are given, the device a job opens for itself and the link of a
// TWL printer's bridge to it.
#include <cstring>

#include "ipp/serve/serve.h"
#include "ipp/sim_printer.h"

namespace lblserve {

namespace {

// PAPPL's device callbacks are called from C: nothing may be thrown through them.
template <class T, class Fn>
T NoThrow(pappl_device_t* device, T failed, Fn&& fn) {
  try {
    return fn();
  } catch (const std::exception& e) {
    papplDeviceError(device, "Internal error: %s", e.what());
  } catch (...) {
    papplDeviceError(device, "Internal error.");
  }
  return failed;
}

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
  return NoThrow(device, false, [&] {
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
  });
}

void SimClose(pappl_device_t* device) {
  NoThrow(device, 0, [&] {
    delete static_cast<SimDevice*>(papplDeviceGetData(device));
    papplDeviceSetData(device, nullptr);
    return 0;
  });
}

ssize_t SimRead(pappl_device_t* device, void* buffer, size_t bytes) {
  (void)device, (void)buffer, (void)bytes;
  return 0;  // replies come through the control channel
}

ssize_t SimWrite(pappl_device_t* device, const void* buffer, size_t bytes) {
  return NoThrow(device, ssize_t(-1), [&] {
    auto* sim = static_cast<SimDevice*>(papplDeviceGetData(device));
    if (!sim) return ssize_t(-1);
    std::lock_guard<std::mutex> g(sim->mutex);
    if (!sim->Ready() || !sim->link.Write(static_cast<const uint8_t*>(buffer), bytes)) return ssize_t(-1);
    return ssize_t(bytes);
  });
}

pappl_preason_t SimStatus(pappl_device_t* device) {
  return NoThrow(device, PAPPL_PREASON_OFFLINE, [&] {
    auto* sim = static_cast<SimDevice*>(papplDeviceGetData(device));
    if (!sim) return PAPPL_PREASON_OFFLINE;
    std::lock_guard<std::mutex> g(sim->mutex);
    return sim->Ready() ? PAPPL_PREASON_NONE : PAPPL_PREASON_OFFLINE;
  });
}

char* SimId(pappl_device_t* device, char* buffer, size_t size) {
  return NoThrow(device, static_cast<char*>(nullptr), [&]() -> char* {
    auto* sim = static_cast<SimDevice*>(papplDeviceGetData(device));
    if (!sim) return nullptr;
    std::lock_guard<std::mutex> g(sim->mutex);
    std::string id;
    if (!sim->Ready() || !sim->link.DeviceId(&id)) return nullptr;
    papplCopyString(buffer, id.c_str(), size);
    return buffer;
  });
}

// lblqueue://NAME: opens, and never carries a byte.
bool QueueOpen(pappl_device_t* device, const char* uri, const char* name) {
  (void)device, (void)uri, (void)name;
  return true;
}
void QueueClose(pappl_device_t* device) { (void)device; }
ssize_t QueueRead(pappl_device_t* device, void* buffer, size_t bytes) {
  (void)device, (void)buffer, (void)bytes;
  return 0;
}
ssize_t QueueWrite(pappl_device_t* device, const void* buffer, size_t bytes) {
  (void)buffer, (void)bytes;
  papplDeviceError(device, "The printer's own device takes the job's data.");
  return -1;
}
pappl_preason_t QueueStatus(pappl_device_t* device) {
  (void)device;
  return PAPPL_PREASON_NONE;
}
char* QueueId(pappl_device_t* device, char* buffer, size_t size) {
  (void)device, (void)buffer, (void)size;
  return nullptr;
}

// PAPPL's log callback of a device a job opens.
void LogDevice(const char* message, void* data) {
  papplLogJob(static_cast<pappl_job_t*>(data), PAPPL_LOGLEVEL_WARN, "%s", message);
}

}  // namespace

std::string QueueDeviceUri(const std::string& printer) { return std::string(kQueueScheme) + "://" + printer; }

void RegisterSchemes() {
  // PAPPL makes its own schemes (file, socket, usb, ...) on first use, unless a scheme was added
  // before: use them first.
  papplDeviceIsSupported("socket://localhost");
  papplDeviceAddScheme("lblsim", PAPPL_DEVTYPE_CUSTOM_NETWORK, nullptr, SimOpen, SimClose, SimRead, SimWrite, SimStatus,
                       SimId);
  papplDeviceAddScheme(kQueueScheme, PAPPL_DEVTYPE_CUSTOM_LOCAL, nullptr, QueueOpen, QueueClose, QueueRead, QueueWrite,
                       QueueStatus, QueueId);
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

JobDevice::JobDevice(pappl_job_t* job, const PrinterContext& ctx, pappl_device_t* papplDevice)
    : job_(job), ctx_(ctx) {
  if (!ctx.ownsDevice) device_ = papplDevice;
}

JobDevice::~JobDevice() { Close(); }

bool JobDevice::Open() {
  if (device_) return true;
  lastMessage_.clear();
  // The device's own messages go to the job's log; the last one says why an open failed.
  device_ = papplDeviceOpen(
      ctx_.deviceUri.c_str(), papplJobGetName(job_),
      [](const char* message, void* data) {
        auto* self = static_cast<JobDevice*>(data);
        try {
          self->lastMessage_ = message ? message : "";
        } catch (...) {
        }
        LogDevice(message, self->job_);
      },
      this);
  own_ = device_ != nullptr;
  if (!device_) error_ = lastMessage_.empty() ? "the device does not open" : lastMessage_;
  return device_ != nullptr;
}

void JobDevice::Close() {
  if (own_ && device_) papplDeviceClose(device_);
  if (own_) device_ = nullptr;
  own_ = false;
}

namespace {

// The job's device as the bridge's far side; used only behind a CutLink, which serialises the calls.
class DeviceOfJob : public lblipp::DeviceLink {
 public:
  DeviceOfJob(pappl_device_t* device, bool control) : device_(device), control_(control) {}
  bool Write(const uint8_t* data, size_t size) override { return WriteConfirmed(device_, data, size); }
  bool HasControl() const override { return control_; }
  bool VendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) override {
    SimDevice* sim = Sim();
    if (!sim) return false;
    std::lock_guard<std::mutex> s(sim->mutex);
    return sim->Ready() && sim->link.VendorGet(input, reply);
  }
  bool VendorSet(const std::vector<uint8_t>& input) override {
    SimDevice* sim = Sim();
    if (!sim) return false;
    std::lock_guard<std::mutex> s(sim->mutex);
    return sim->Ready() && sim->link.VendorSet(input);
  }

 private:
  SimDevice* Sim() const { return control_ ? static_cast<SimDevice*>(papplDeviceGetData(device_)) : nullptr; }
  pappl_device_t* const device_;
  const bool control_;
};

}  // namespace

std::shared_ptr<lblipp::CutLink> LinkTo(pappl_device_t* device, bool control) {
  return std::make_shared<lblipp::CutLink>(std::make_shared<DeviceOfJob>(device, control));
}

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
