#include "delivery_test_util.h"

#include <bit>
#include <cstdio>

namespace montest {

namespace {

std::atomic<bool> g_paused{false};
std::atomic<int> g_inTurn{0};

void GatedTurn(IniPort* port) {
  ++g_inTurn;
  if (!g_paused) RunDeliveryTurn(port);
  --g_inTurn;
}

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v & 0xFF);
  b[at + 1] = uint8_t((v >> 8) & 0xFF);
}

}  // namespace

std::vector<uint8_t> PageBlock(uint16_t page, uint16_t rows, uint16_t rowBytes, uint8_t seed) {
  const size_t rowLength = size_t(rowBytes) + 2;
  std::vector<uint8_t> b(22 + rows * rowLength);
  b[0] = 'S', b[1] = 'I', b[2] = 'Z';
  b[3] = 1;                      // gap media
  Put16(b, 4, rowBytes * 8u);    // paper width in dots
  Put16(b, 6, rows);             // page length
  Put16(b, 8, 24);               // gap
  Put16(b, 10, 0);               // gap offset
  Put16(b, 12, page);
  b[14] = 0x1D, b[15] = 0x76, b[16] = 0x30, b[17] = 0x00;
  Put16(b, 18, uint32_t(rowLength));
  Put16(b, 20, rows);
  for (size_t y = 0; y < rows; ++y) {
    uint8_t* row = b.data() + 22 + y * rowLength;
    unsigned black = 0;
    for (size_t x = 0; x < rowBytes; ++x) {
      row[2 + x] = uint8_t(seed * 37 + page * 11 + y * 5 + x);
      black += unsigned(std::popcount(row[2 + x]));
    }
    row[0] = uint8_t(black & 0xFF);
    row[1] = uint8_t(black >> 8);
  }
  return b;
}

std::vector<uint8_t> JobHeader() { return {0x1B, 0x73, 0x01, 0x00, 0x00, 0x02, 0x07}; }

std::vector<uint8_t> Marker(uint32_t blockBytes) {
  return {0x1D, 0x1D, 0x76, 0x76, uint8_t(blockBytes), uint8_t(blockBytes >> 8), uint8_t(blockBytes >> 16),
          uint8_t(blockBytes >> 24)};
}

std::u16string PagePath(DWORD page, DWORD jobId, int sequence) {
  char name[64];
  snprintf(name, sizeof name, "page_%04u_jobid_%03u_%d.dat", unsigned(page), unsigned(jobId), sequence);
  return FolderPath(name);
}

std::u16string FolderPath(const std::string& fileName) {
  return u"c:\\prtmonlog\\pages\\" + std::u16string(fileName.begin(), fileName.end());
}

void WriteFileAt(const std::u16string& path, const std::vector<uint8_t>& bytes) {
  ASSERT_TRUE(winsim::WriteHostFile(path, bytes.data(), bytes.size()));
}

bool Exists(const std::u16string& path) {
  WString p = ToWString(path.c_str());
  return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> PageFilesLeft() {
  std::vector<std::string> out;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(TEXT("c:\\prtmonlog\\pages\\*.dat"), &found);
  if (find == INVALID_HANDLE_VALUE) return out;
  do out.push_back(WideToUtf8(found.cFileName));
  while (FindNextFileW(find, &found));
  FindClose(find);
  return out;
}

std::vector<std::u16string> WriteTwlJob(DWORD jobId, const std::vector<uint16_t>& pages, bool header) {
  std::vector<std::u16string> paths;
  if (header) {
    paths.push_back(PagePath(0, jobId));
    WriteFileAt(paths.back(), JobHeader());
  }
  for (uint16_t page : pages) {
    paths.push_back(PagePath(page, jobId));
    WriteFileAt(paths.back(), PageBlock(page));
  }
  return paths;
}

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

void DeliveryTest::SetUp() {
  MonitorTest::SetUp();
  g_paused = false;
  SetDeliveryStep(GatedTurn);
}

void DeliveryTest::TearDown() {
  g_paused = false;
  MonitorTest::TearDown();
}

void DeliveryTest::Pause() {
  g_paused = true;
  while (g_inTurn.load()) std::this_thread::yield();
}

void DeliveryTest::Resume() { g_paused = false; }

bool DeliveryTest::PrintDoc(HANDLE port, DWORD jobId, int markers, const std::u16string& printer) {
  winsim::AddSpoolerJob(printer, jobId, u"Labels");
  if (!StartDoc(port, jobId, printer)) return false;
  std::vector<uint8_t> marker = Marker(uint32_t(PageBlock(1).size()));
  for (int i = 0; i < markers; ++i) {
    DWORD written = 0;
    if (!MonWritePort(port, marker.data(), DWORD(marker.size()), &written) || written != marker.size()) return false;
  }
  return MonEndDocPort(port);
}

bool DeliveryTest::Ejected(DWORD jobId) const {
  for (const auto& c : winsim::JobControls())
    if (c.jobId == jobId && c.command == JOB_CONTROL_LAST_PAGE_EJECTED && c.accepted) return true;
  return false;
}

bool DeliveryTest::WaitEjected(DWORD jobId, int ms) const {
  return WaitFor([&] { return Ejected(jobId); }, ms);
}

bool DeliveryTest::WaitQueueEmpty(HANDLE port, int ms) {
  return WaitFor([&] { return LoadPointer(&Port(port)->pageQueue) == nullptr; }, ms);
}

std::vector<uint16_t> DeliveryTest::Numbers(const std::vector<winsim::TwlPage>& pages) {
  std::vector<uint16_t> out;
  for (const auto& p : pages) out.push_back(p.number);
  return out;
}

std::shared_ptr<winsim::TwlPrinterDevice> DeliveryTest::AddSecondPrinter(const std::string& serial) {
  auto second = std::make_shared<winsim::TwlPrinterDevice>();
  second->portNumber = 2;
  second->serial = serial;
  winsim::AttachUsbPrinter(second);
  winsim::PrinterSpec printer;
  printer.name = u"Label TWL 2";
  printer.port = u"USB002";
  printer.driver = u"Tarnwell Label Driver";
  EXPECT_TRUE(winsim::AddPrinter(printer));
  return second;
}

}  // namespace montest
