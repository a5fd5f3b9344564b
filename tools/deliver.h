// Printing through the whole print path to a simulated printer: the rendering DLL driven by winsim's job
// runner, the spooler, the language monitor lblmon, the USB port monitor and a simulated printer of the
// model's kind. For TWL printers the report says, per job, which pages the printer printed, which page
// blocks it was sent again and what the monitor logged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/input_image.h"
#include "tools/job_options.h"
#include "tools/print_job.h"
#include "winsim/printpath.h"
#include "winsim/twlprinter.h"

namespace lbl {

struct DeliveredJob {
  DWORD jobId = 0;
  unsigned pagesRendered = 0;  // TWL: page copies the rendering DLL marked in the spooler stream
  bool rendered = false;       // the job runner finished without an error
  std::string error;           // its first failure
  // TWL: the spooler was told that the job's last page is out (JOB_CONTROL_LAST_PAGE_EJECTED accepted).
  bool ejected = false;
  std::vector<winsim::TwlPage> pages;    // TWL: printed while the job was delivered, in order
  std::vector<uint16_t> received;        // TWL: page blocks received, in order; a number twice is a re-send
  unsigned resends = 0;                  // received blocks beyond the first of each page number
  unsigned tornBlocks = 0;
  std::vector<std::string> monitorLog;   // the monitor's messages from the start of the job to its delivery
  std::vector<uint8_t> bytes;            // other languages: what the printer received for the job
  // TWL, DeliverOptions::closePortAfter: the port was closed before the job was out, and the job printed
  // again from the spooler's queue (same job id, rendered again). pagesRendered is then the second run's.
  bool restarted = false;
  unsigned pagesRenderedBeforeRestart = 0;
};

struct DeliverOptions {
  JobOptions job;            // model (empty: the embedded default printer), paper or size, orientation, copies
  int jobs = 1;
  int pages = 1;             // per job
  // The command set the simulated printer names in its device ID: "TWL", "TSPL", "ZPL" or "CPE"; empty: TWL
  // when the model speaks it, else the model's other languages. The rendering DLL picks its language by it.
  std::string commandSet;
  winsim::PageDrawer draw;   // empty: a test label (a frame, bars and a diagonal)
  int timeoutMs = 30000;     // per job, for its page files to be delivered
  // Called before each job (0-based) with the TWL printer (nullptr for other printers): fault injection.
  std::function<void(int job, winsim::TwlPrinterDevice* printer)> beforeJob;
  // Called after each job has been delivered (or has timed out), before the next one starts.
  std::function<void(int job, const DeliveredJob& result, winsim::TwlPrinterDevice* printer)> afterJob;
  // Pages and copies of each job, when they differ from `pages` and the options' copies.
  std::function<void(int job, int* pages, int* copies)> shape;
  // TWL: the spooler closes the printer's port once this many of the job's pages have been printed (-1 or
  // no function: never). A job the close leaves unfinished stays in the spooler's queue and is printed
  // again when the port is opened for it, as the spooler restarts it.
  std::function<int(int job)> closePortAfter;
};

struct DeliveryReport {
  std::string model;
  std::string commandSet;                // of the simulated printer
  bool twl = false;                      // the monitor speaks TWL to it
  std::vector<DeliveredJob> jobs;
  std::vector<std::string> pageFilesLeft;  // page files still in the folder after the last job
  std::vector<std::string> warnings;       // lbl print --deliver: options the driver did not take
};

// Installs and initialises the printer of the model on USB001 (resetting the machine), registers lblmon as
// its language monitor, attaches the simulated printer and prints the jobs one after the other, each
// delivered before the next starts. False with a message when the set-up fails; a failing job is
// reported in its entry.
bool RunDelivery(const DeliverOptions& opts, DeliveryReport* out, std::string* error);

// lbl print --deliver: the job of `opts` (its pictures, or blank pages) as RunPrint prints it, but through
// the spooler, lblmon and the port monitor to a simulated printer: the device ID of --usb-device-id when
// given (a TWL printer when it names TWL), else the printer of --language, else of the model's languages.
// `received` gets every byte the printer received, in order. False with a message when the set-up fails.
bool DeliverPrint(const PrintOptions& opts, const std::vector<RgbImage>& pictures, DeliveryReport* out,
                  std::vector<uint8_t>* received, std::string* error);

// The printer a caller brings to DeliverPrint instead of the simulated one: attached to USB001 with
// its own device ID (a TwlPrinterDevice, or a device modelled on one, for a TWL printer).
struct DeliverTarget {
  std::shared_ptr<winsim::UsbPrinterDevice> device;
  int timeoutMs = 30000;  // for the monitor to deliver the job
  // Asked while the monitor delivers: true gives the job up as a user deleting it would (the monitor
  // drops its pages), and the wait ends once they are gone.
  std::function<bool()> abandon;
};
bool DeliverPrint(const PrintOptions& opts, const std::vector<RgbImage>& pictures, const DeliverTarget& target,
                  DeliveryReport* out, std::vector<uint8_t>* received, std::string* error);

// The report as JSON: per job its id, whether it rendered and was ejected, the printed pages (number,
// width and rows in dots, black dots), the received page numbers, re-sends and the monitor's messages;
// for other languages the byte count. Keys are the report's fields in the records' case (JobId,
// Resends); `error` fills the document's "Error".
std::string DeliveryReportJson(const DeliveryReport& report, const std::string& error = {});

// A printed TWL page as a PBM image (P4): the raster as the printer put it on the label, 1 = black.
std::vector<uint8_t> TwlPagePbm(const winsim::TwlPage& page);

// The test label of DeliverOptions::draw.
void DrawTestLabel(int page, const winsim::PageSurface& surface);

}  // namespace lbl
