// A simulated label printer on a loopback TCP port: the printers the tests already simulate (a
// USB label printer that keeps what it receives, the TWL printer with its status, page acknowledgements
// and faults) reachable over a real socket.
//
// A connection is raw (socket://: every byte received is print data) unless it starts with the
// greeting kSimGreeting; then it carries frames that keep the shape of a USB printer's traffic: print
// data in the writes the sender made, and the vendor requests and device ID query of the control
// channel (lblsim://HOST:PORT). Each frame is a type byte, a 32-bit little-endian length and the
// payload; every frame is answered with a status byte (0 done, 1 failed), a 32-bit length and data:
//   'W' data     -> the count of bytes the printer took (4 bytes)
//   'G' request  -> the vendor GET reply        'S' request -> nothing
//   'I'          -> the IEEE 1284 device ID
// A write frame is answered once the printer has taken the data, so what it acknowledges it has.
// On a raw connection the printer answers the status queries of its languages (TSPL ESC ! ?,
// ZPL ~HS, ESC DLE EOT 1) once it has read everything sent before them; they are not print data.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ipp/twl_bridge.h"
#include "winsim/devices.h"

namespace lblipp {

constexpr char kSimGreeting[] = "LBLSIM1\n";

class SimPrinter {
 public:
  explicit SimPrinter(std::shared_ptr<winsim::UsbPrinterDevice> device);
  ~SimPrinter();
  SimPrinter(const SimPrinter&) = delete;
  SimPrinter& operator=(const SimPrinter&) = delete;

  // Listens on 127.0.0.1 at a port the system picks. False with a message on failure.
  bool Start(std::string* error);
  void Stop();
  int Port() const { return port_.load(); }
  std::string SocketUri() const;  // socket://127.0.0.1:PORT
  std::string SimUri() const;     // lblsim://127.0.0.1:PORT

  winsim::UsbPrinterDevice& Device() { return *device_; }

  // Offline: open connections are closed and new ones refused until it comes back.
  void SetOffline(bool offline);
  // Closes the connection once it has received this many more bytes of print data (0: never);
  // the data beyond is not taken. Used once.
  void DropAfterBytes(size_t bytes);
  unsigned Connections() const { return connections_.load(); }
  // The status byte a raw TSPL status query answers (TwlFault bits; 0: ready).
  void SetRawStatus(uint8_t status) { rawStatus_ = status; }

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool Listen(std::string* error);
  void CloseListener();
  void CloseConnections();

  std::shared_ptr<winsim::UsbPrinterDevice> device_;
  std::atomic<int> port_{0};
  int listenFd_ = -1;
  std::atomic<bool> running_{false}, offline_{false};
  std::atomic<size_t> dropAfter_{0};
  std::atomic<uint8_t> rawStatus_{0};
  std::atomic<unsigned> connections_{0};
  std::mutex mutex_;
  std::vector<int> open_;
  std::vector<std::thread> threads_;
  std::thread acceptThread_;
};

// The client side of the framed protocol: a DeviceLink with a control channel.
class SimLink : public DeviceLink {
 public:
  ~SimLink() override;
  // Connects to HOST:PORT (loopback or any host) and sends the greeting; calls time out after
  // `timeoutMs`. False with a message.
  bool Connect(const std::string& host, int port, int timeoutMs, std::string* error);
  void Close();
  bool Connected() const { return fd_ >= 0; }

  bool Write(const uint8_t* data, size_t size) override;
  bool HasControl() const override { return true; }
  bool VendorGet(const std::vector<uint8_t>& input, std::vector<uint8_t>* reply) override;
  bool VendorSet(const std::vector<uint8_t>& input) override;
  bool DeviceId(std::string* out);
  // Bytes the printer took in the last Write.
  size_t LastTaken() const { return lastTaken_; }

 private:
  bool Exchange(char type, const uint8_t* data, size_t size, std::vector<uint8_t>* reply);
  int fd_ = -1;
  size_t lastTaken_ = 0;
  std::mutex mutex_;
};

// The status query of a raw stream's language (TSPL, ZPL, ESC: "tspl", "zpl", "esc"), and whether
// `reply` is a whole answer to it (with its status byte: TSPL's own, else 0).
std::vector<uint8_t> RawStatusQuery(const std::string& language);
bool RawStatusAnswered(const std::string& language, const std::vector<uint8_t>& reply, uint8_t* status);

// HOST and PORT of "lblsim://HOST:PORT" or "socket://HOST:PORT" (9100 when absent).
bool SplitHostPort(const std::string& uri, std::string* host, int* port);

}  // namespace lblipp
