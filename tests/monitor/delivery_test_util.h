// Page files, TWL page blocks and documents for the delivery tests, and a fixture whose delivery threads
// can be paused between turns.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "monitor_test_util.h"

namespace montest {

// A TWL page block: the 22-byte header ("SIZ", gap media, width, length, gap, gap offset, page number,
// 1D 76 30 00, row length, row count), then each row as its count of black dots and its bytes.
std::vector<uint8_t> PageBlock(uint16_t page, uint16_t rows = 4, uint16_t rowBytes = 3, uint8_t seed = 1);
// The 7-byte TWL job header.
std::vector<uint8_t> JobHeader();
// The 8-byte spooler marker of a page copy of `blockBytes` bytes.
std::vector<uint8_t> Marker(uint32_t blockBytes);

// "c:\prtmonlog\pages\page_%04d_jobid_%03d_%d.dat", and the same with any file name.
std::u16string PagePath(DWORD page, DWORD jobId, int sequence = 0);
std::u16string FolderPath(const std::string& fileName);
void WriteFileAt(const std::u16string& path, const std::vector<uint8_t>& bytes);
bool Exists(const std::u16string& path);
// Page files left in the folder (names only).
std::vector<std::string> PageFilesLeft();

// The page files of a TWL job as the rendering DLL writes them: the job header as page 0, then one block per
// page number. Returns the paths in name order.
std::vector<std::u16string> WriteTwlJob(DWORD jobId, const std::vector<uint16_t>& pages, bool header = true);

std::string Narrow(const std::u16string& s);

class DeliveryTest : public MonitorTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Stops the delivery threads between turns (returns once no turn runs), and lets them go again.
  void Pause();
  void Resume();

  // A document on the port as the spooler sends it for a TWL printer: start, one marker per page copy,
  // end (which lists the page files). The job is known to the spooler for GetJobW and SetJobW.
  bool PrintDoc(HANDLE port, DWORD jobId, int markers, const std::u16string& printer = kPrinter);

  bool Ejected(DWORD jobId) const;  // the spooler was told JOB_CONTROL_LAST_PAGE_EJECTED and took it
  bool WaitEjected(DWORD jobId, int ms = 5000) const;
  bool WaitQueueEmpty(HANDLE port, int ms = 5000);
  static std::vector<uint16_t> Numbers(const std::vector<winsim::TwlPage>& pages);
  // A second TWL printer, "Label TWL 2" on USB002.
  std::shared_ptr<winsim::TwlPrinterDevice> AddSecondPrinter(const std::string& serial);
};

}  // namespace montest
