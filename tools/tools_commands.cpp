#include "tools/tools_commands.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>
#include <thread>

#include "common/product.h"
#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/exit_status.h"
#include "tools/job_options.h"
#include "tools/progress.h"
#include "ui/firmware.h"
#include "ui/module.h"
#include "ui/printertools.h"
#include "winsim/clock.h"
#include "winsim/machine.h"
#include "winsim/monitorhost.h"
#include "winsim/printpath.h"
#include "winsim/spooler.h"
#include "winsim/twlprinter.h"

namespace lbl {

namespace {

namespace fs = std::filesystem;

std::string Narrow(const WCHAR* s) { return WideToUtf8(s); }

// The bytes of a regular host file; false with the reason when it is missing, a directory or unreadable.
bool ReadHost(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    *error = path + (fs::is_directory(path, ec) ? " is a directory, not a file" : ": no such file");
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  bytes->clear();
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) bytes->insert(bytes->end(), chunk, chunk + in.gcount());
  if (!in.eof()) {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}

// The printer (`choice`: else the machine's default) and the UI strings.
bool Setup(const JobOptions& choice, TargetPrinter* target, std::string* error) {
  if (!OpenTargetPrinter(choice.printer, choice.model, target, error)) return false;
  RegisterUiResources(CatalogueModule());
  SetUiModule(CatalogueModule());
  return true;
}

// The simulated TWL printer on USB port `portNumber`, lblmon in the print path: the one the machine has
// there, else a new one plugged in, which the machine keeps (with the firmware it is updated to). A printer
// plugged in by its device ID alone (lbl install --usb-printer) whose ID says TWL becomes the simulated TWL
// printer, the same device (ids, serial, port, presence); any other takes no TWL firmware.
bool TwlPrinterOn(const TargetPrinter& target, DWORD portNumber, std::shared_ptr<winsim::TwlPrinterDevice>* twl,
                  std::string* error) {
  char portName[16];
  std::snprintf(portName, sizeof portName, "USB%03u", unsigned(portNumber));
  const auto onPort = winsim::UsbPrinterOnPort(Utf8ToU16(portName));
  // The monitor must speak TWL to it, whatever kind of simulated printer an older state kept there.
  if (onPort && !DeviceIdSpeaksTwl(onPort->deviceId)) {
    *error = "the printer plugged in on " + std::string(portName) + " does not take TWL firmware (" + onPort->deviceId + ")";
    return false;
  }
  *twl = std::dynamic_pointer_cast<winsim::TwlPrinterDevice>(onPort);
  if (*twl) return winsim::AddLanguageMonitor(TEXT(LBL_LANGUAGE_MONITOR_NAME), u"lblmon", error);
  *twl = std::make_shared<winsim::TwlPrinterDevice>();
  if (onPort) {
    (*twl)->deviceId = onPort->deviceId;
    (*twl)->vendorId = onPort->vendorId;
    (*twl)->productId = onPort->productId;
    (*twl)->serial = onPort->serial;
    (*twl)->portDescription = onPort->portDescription;
    (*twl)->interfacePath = onPort->interfacePath;
    (*twl)->present = onPort->present.load();
  } else {
    (*twl)->deviceId = DeviceIdFor(target.driver, "TWL");
  }
  (*twl)->portNumber = portNumber;
  (*twl)->SetFirmware("V1.00", 0x1111);
  if (onPort) winsim::DetachUsbPrinter(onPort);  // its interface path is free for the replacement
  if (!winsim::AttachUsbPrinter(*twl)) {
    if (onPort) winsim::AttachUsbPrinter(onPort);
    *error = "cannot attach the simulated printer on " + std::string(portName);
    return false;
  }
  return winsim::AddLanguageMonitor(TEXT(LBL_LANGUAGE_MONITOR_NAME), u"lblmon", error);
}

// The firmware file's bytes as the page reads them, from a Windows path: a file of this run's own in the
// machine's temporary folder (made with the caller's rights; an existing name is never reused), removed
// again whatever the outcome. False with a message when the copy cannot be made or removed.
bool LoadFirmwareBytes(const std::vector<uint8_t>& bytes, FirmwareLoad* result, FirmwareImage* image,
                       std::string* error) {
  const WString folder = Utf8ToWide("C:\\Windows\\Temp");
  const bool madeFolder = GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES &&
                          CreateDirectoryW(folder.c_str(), nullptr);
  WString path;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int n = 0; n < 1000 && h == INVALID_HANDLE_VALUE; ++n) {
    path = folder + Utf8ToWide("\\lbl-firmware-" + std::to_string(n) + ".bin");
    h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) {
    if (madeFolder) RemoveDirectoryW(folder.c_str());
    *error = "cannot copy the file into the machine's temporary folder C:\\Windows\\Temp (error " +
             std::to_string(GetLastError()) + ")";
    return false;
  }
  DWORD written = 0;
  const bool copied = WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
  CloseHandle(h);
  *result = copied ? LoadFirmwareFile(path.c_str(), nullptr, image) : FirmwareLoad::OpenFailed;
  const bool removed = DeleteFileW(path.c_str()) && (!madeFolder || RemoveDirectoryW(folder.c_str()));
  if (!copied || !removed) {
    if (*result == FirmwareLoad::Ok) FreeFirmwareImage(image);
    *error = !copied ? "cannot copy the file into the machine's temporary folder C:\\Windows\\Temp"
                     : "cannot remove the copy " + Narrow(path.c_str()) + " from the machine";
    return false;
  }
  return true;
}

// The printer's capture folder as its Printer Settings page shows it: "LogFolder", else the folder named
// after the printer.
bool CaptureFolderOf(const std::string& printerName, WString* folder, std::string* error) {
  WString name = Utf8ToWide(printerName);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) {
    *error = "cannot open the printer " + printerName;
    return false;
  }
  PrinterPropData prop{};
  ReadPropData(printer, &prop);
  ClosePrinter(printer);
  DefaultLogFolder(&prop, name.c_str());
  *folder = prop.LogFolder;
  return true;
}

// A host file's name as the name of one file in a Windows folder: nothing a path is made of (a host file
// may be called "..\x.prt", which would land outside the folder), nothing Windows refuses in a name.
bool PlainFileName(const std::string& name, std::string* error) {
  bool plain = !name.empty() && name != "." && name != ".." && name.back() != '.' && name.back() != ' ';
  constexpr std::string_view kRefused = "\\/:*?\"<>|";
  for (unsigned char c : name) plain = plain && c >= 0x20 && kRefused.find(char(c)) == std::string_view::npos;
  if (!plain) *error = "\"" + name + "\" is not a name a Windows file can have";
  return plain;
}

std::u16string InFolder(const WString& folder, const std::string& fileName) {
  const WString name = Utf8ToWide(fileName);
  return std::u16string(folder.begin(), folder.end()) + u"\\" + std::u16string(name.begin(), name.end());
}

// The .prt files of a host folder (and anything else in it) copied into the capture folder.
bool FillCaptureFolder(const std::string& hostDir, const WString& capture, std::string* error) {
  std::error_code ec;
  // Every name is checked before the first copy: a refused folder changes nothing.
  for (const auto& entry : fs::directory_iterator(hostDir, ec))
    if (entry.is_regular_file() && !PlainFileName(entry.path().filename().string(), error)) return false;
  for (const auto& entry : fs::directory_iterator(hostDir, ec)) {
    if (!entry.is_regular_file()) continue;
    std::vector<uint8_t> bytes;
    if (!ReadHost(entry.path().string(), &bytes, error)) return false;
    if (!winsim::WriteHostFile(InFolder(capture, entry.path().filename().string()), bytes.data(), bytes.size())) {
      *error = "cannot copy " + entry.path().string();
      return false;
    }
  }
  if (ec) *error = "cannot read the folder " + hostDir + ": " + ec.message();
  return !ec;
}

void ListCaptures(const WString& folder) {
  for (const WString& name : CaptureFiles(folder.c_str())) std::printf("%s\n", Narrow(name.c_str()).c_str());
}

int RunTools(std::vector<std::string> args) {
  JobOptions choice;
  std::string action, operand, folder, error;
  if (!ParsePrinterOptions(&args, &choice, &error)) return Usage(error);
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--folder") {
      if (++i >= args.size()) return Usage("--folder needs a directory");
      folder = args[i];
    } else if (action.empty()) {
      action = args[i];
    } else if (operand.empty()) {
      operand = args[i];
    } else {
      return Usage("too many arguments");
    }
  }
  const bool needsOperand = action == "send" || action == "delete";
  if (action != "captures" && action != "delete-all" && !needsOperand)
    return Usage("'tools' needs captures, send FILE, delete NAME or delete-all");
  if (needsOperand == operand.empty()) return Usage("'" + action + "' " + (needsOperand ? "needs" : "takes no") + " operand");
  std::string printerName;
  WString capture;
  TargetPrinter target;
  if (!Setup(choice, &target, &error)) return Fail(error);
  printerName = target.name;
  if (!CaptureFolderOf(printerName, &capture, &error)) return Fail(error);
  if (!folder.empty() && !FillCaptureFolder(folder, capture, &error)) return Fail(error);
  if (action == "captures") {
    ListCaptures(capture);
  } else if (action == "delete") {
    // Only a name the page lists: no other file of the folder, nothing outside it.
    WCHAR path[MAX_PATH];
    WString name = Utf8ToWide(operand);
    bool listed = false;
    for (const WString& file : CaptureFiles(capture.c_str())) listed = listed || WStrEqNoCase(file.c_str(), name.c_str());
    if (!listed || !CapturePath(capture.c_str(), name.c_str(), path) || !DeleteFileW(path))
      return Fail("no capture file \"" + operand + "\"");
    ListCaptures(capture);
  } else if (action == "delete-all") {
    std::fprintf(stderr, "lbl: deleted %d capture files\n", DeleteCaptureFiles(capture.c_str()));
    ListCaptures(capture);
  } else {
    std::vector<uint8_t> bytes;
    const std::string fileName = fs::path(operand).filename().string();
    if (!PlainFileName(fileName, &error) || !ReadHost(operand, &bytes, &error)) return Fail(error);
    const std::u16string winPath = InFolder(capture, fileName);
    if (!winsim::WriteHostFile(winPath, bytes.data(), bytes.size())) return Fail("cannot copy " + operand);
    WString printer = Utf8ToWide(printerName), path = ToWString(winPath.c_str());
    const UINT message = SendFileRawResult(printer.c_str(), path.c_str());
    WCHAR text[256];
    LoadUiString(message, text, 256);
    auto jobs = winsim::SpoolJobs();
    if (!jobs.empty())
      std::printf("job %u: %zu bytes in %zu pages\n", unsigned(jobs.back().id), jobs.back().data.size(),
                  jobs.back().writes.size());
    std::printf("%s\n", Narrow(text).c_str());
    if (message != IDS_TOOLS_SENT) return 1;
  }
  return 0;
}

std::string StatusText(int status) {
  WCHAR text[256] = {};
  FirmwareStatusText(status, text, 256);
  return Narrow(text);
}

int RunFirmware(std::vector<std::string> args) {
  JobOptions choice;
  std::string file, sample;
  bool force = false;
  {
    std::string error;
    if (!ParsePrinterOptions(&args, &choice, &error)) return Usage(error);
  }
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--force") {
      force = true;
    } else if (args[i] == "--make-sample") {
      if (++i >= args.size()) return Usage("--make-sample needs a file name");
      sample = args[i];
    } else if (file.empty() && args[i].rfind("--", 0) != 0) {
      file = args[i];
    } else {
      return Usage("unexpected argument '" + args[i] + "'");
    }
  }
  if (!sample.empty()) {
    if (!file.empty() || force) return Usage("--make-sample takes no FILE and no --force");
    // For the model of the printer asked for, else the default printer's.
    TargetPrinter target;
    std::string error;
    if (!OpenTargetPrinter(choice.printer, choice.model, &target, &error)) return Fail(error);
    const std::string model = target.driver;
    auto bytes = winsim::TwlPrinterDevice::MakeFirmwareFile(model, "V2.00", 64 * 1024);
    std::ofstream out(sample, std::ios::binary);
    if (!out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())))
      return Fail("cannot write " + sample);
    std::printf("%s: firmware V2.00 for %s, %zu bytes\n", sample.c_str(), model.c_str(), bytes.size());
    return 0;
  }
  if (file.empty()) return Usage("'firmware' needs a FILE or --make-sample OUT");
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadHost(file, &bytes, &error)) return Fail(error);

  // Everything is checked before the printer's device is touched: a refused run changes nothing.
  TargetPrinter target;
  if (!Setup(choice, &target, &error)) return Fail(error);
  const DWORD portNumber = UsbPortNumber(target.port);
  if (!portNumber)
    return Fail("a firmware update needs a printer on a USB port; \"" + target.name + "\" prints to " + target.port);
  WString printer = Utf8ToWide(target.name);
  FirmwareImage image;
  FirmwareLoad load = FirmwareLoad::OpenFailed;
  if (!LoadFirmwareBytes(bytes, &load, &image, &error)) return Fail(error);
  if (load != FirmwareLoad::Ok)
    return Fail(file + ": not a firmware file (its header, something after it, at most " +
                std::to_string(kFirmwareMaxBytes >> 20) + " MiB in all)");
  const FirmwareFileInfo& info = image.Info;
  std::printf("file: model \"%s\", version %s, CRC 0x%04x\n", info.Model, info.Version, unsigned(uint16_t(info.Checksum)));
  if (!FirmwareMatchesPrinter(info, printer.c_str())) {
    if (!force) {
      FreeFirmwareImage(&image);
      return Fail(StatusText(15) + " (use --force)");
    }
    std::fprintf(stderr, "lbl: the file names another model; updating anyway (--force)\n");
  }
  std::shared_ptr<winsim::TwlPrinterDevice> twl;
  if (!TwlPrinterOn(target, portNumber, &twl, &error)) {
    FreeFirmwareImage(&image);
    return Fail(error);
  }
  std::printf("printer: %s, firmware %s, CRC 0x%04x\n", target.name.c_str(), twl->FirmwareVersion().c_str(),
              unsigned(twl->FirmwareChecksum()));

  // The transfer thread as the page starts it; the clock is virtual, so the printer's mode switches and
  // restart take no real time.
  winsim::UseVirtualClock();
  std::atomic<int> result{-1};
  std::thread transfer([&] { result = RunFirmwareTransfer(nullptr, printer.c_str(), image.Data, image.Size); });
  Progress progress;
  while (result < 0) {
    progress.Show("sent firmware bytes", int(twl->FirmwareReceived().size()), int(bytes.size()));
    for (int i = 0; i < 100 && result < 0 && winsim::ThreadsWaitingOnClock() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    winsim::AdvanceClock(50);
  }
  transfer.join();
  progress.End();
  FreeFirmwareImage(&image);
  std::printf("%s\n", StatusText(result).c_str());
  HANDLE handle = nullptr;
  if (result != kFwStatusReady && OpenPrinterW(printer.data(), &handle, nullptr)) {
    // The printer's own verdict, as the page shows it when it polls again after a failure.
    FirmwarePoll poll;
    PollPrinter(handle, false, false, &poll);
    ClosePrinter(handle);
    if (poll.Status > kFwStatusReady) std::printf("printer: %s\n", StatusText(poll.Status).c_str());
  }
  std::printf("printer: firmware %s, CRC 0x%04x, %s\n", twl->FirmwareVersion().c_str(), unsigned(twl->FirmwareChecksum()),
              twl->InUpdateMode() ? "still in update mode" : "running");
  return result == kFwStatusReady ? 0 : 1;
}

}  // namespace

CommandSpec ToolsCommand() {
  return {"tools",
          "the printer tools' captured jobs: list, send, delete",
          "tools captures|send FILE|delete NAME|delete-all [--printer NAME | --model DRIVER-NAME] [--folder DIR]",
          "Runs the captured-job operations of the device sheet's \"Printer Settings\" page on the\n"
          "simulated machine, in the printer's capture folder as the page shows it (its \"LogFolder\", else\n"
          "\"C:\\Printer Log\\<printer>\"), where the driver writes the jobs it records.\n"
          "captures lists the files the page lists (extension exactly .prt); send copies FILE there and\n"
          "sends it to the printer as a RAW job, one page per 204798 bytes; delete and delete-all remove\n"
          "capture files and list what is left (delete takes only a name that captures lists). --folder\n"
          "first copies the files of a host directory into the capture folder (the host directory is not\n"
          "changed).",
          {PrinterOptionTable()[0], PrinterOptionTable()[1],
           {"--folder", "DIR", "copy the files of DIR into the capture folder first", "@dir"}},
          "0  done\n1  the operation failed\n2  usage error",
          "lbl tools captures --folder ./captures\nlbl tools send job.prt",
          "captures send delete delete-all",
          RunTools};
}

CommandSpec FirmwareCommand() {
  return {"firmware",
          "update the firmware of the simulated TWL printer",
          "firmware FILE [--force] [--printer NAME | --model DRIVER-NAME] | firmware --make-sample OUT [--printer NAME | --model DRIVER-NAME]",
          "Checks FILE's firmware header against the printer (model text, version, checksum) and sends it\n"
          "as the printer tools page does: update mode, 1024-byte writes to the device, leaving update mode;\n"
          "the simulated printer checks the file and restarts with its version. Progress goes to stderr.\n"
          "A file for another model is refused unless --force, and so is a file that is not firmware (no header,\n"
          "nothing after it, or over 64 MiB). The printer must be on a USB port: the simulated TWL printer\n"
          "plugged in there is the one updated, else one is plugged in there and kept. --make-sample writes\n"
          "a valid file for the printer's model (the default printer's when no printer is named).",
          {PrinterOptionTable()[0], PrinterOptionTable()[1],
           {"--force", nullptr, "send a file whose model text does not name the printer"},
           {"--make-sample", "OUT", "write a sample firmware file for the simulated printer", "@file"}},
          "0  the printer runs the new firmware\n1  the update failed (the status line's text on stdout)\n"
          "2  usage error",
          "lbl firmware --make-sample fw.bin\nlbl firmware fw.bin",
          "@file",
          RunFirmware};
}

}  // namespace lbl
