// The whole print path: lbldrv6.so renders on winsim's job runner, the spooler hands the job to lblmon.so,
// and the simulated printer prints what reaches it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <thread>

#include "common/wstr.h"
#include "tools/deliver.h"
#include "tools/viewer/viewer.h"
#include "winsim/machine.h"
#include "winsim/security.h"

namespace {

// A black-dot picture of a label: rows of bools, cropped to the black dots.
using Dots = std::vector<std::vector<bool>>;

Dots Crop(const Dots& in) {
  size_t top = in.size(), bottom = 0, left = SIZE_MAX, right = 0;
  for (size_t y = 0; y < in.size(); ++y)
    for (size_t x = 0; x < in[y].size(); ++x)
      if (in[y][x]) top = std::min(top, y), bottom = y, left = std::min(left, x), right = std::max(right, x);
  Dots out;
  for (size_t y = top; y <= bottom && top < in.size(); ++y)
    out.emplace_back(in[y].begin() + ptrdiff_t(left), in[y].begin() + ptrdiff_t(right) + 1);
  return out;
}

Dots HalfTurn(const Dots& in) {
  Dots out(in.rbegin(), in.rend());
  for (auto& row : out) std::reverse(row.begin(), row.end());
  return out;
}

Dots FromTwl(const winsim::TwlPage& p) {
  Dots d(p.rows, std::vector<bool>(p.rowBytes * 8u));
  for (size_t y = 0; y < p.rows; ++y)
    for (size_t x = 0; x < p.rowBytes * 8u; ++x) d[y][x] = (p.raster[y * p.rowBytes + x / 8] >> (7 - x % 8)) & 1;
  return d;
}

// The BITMAP bands of a TSPL page (mode 1: 1 = white).
Dots FromTspl(const std::vector<uint8_t>& bytes) {
  Dots d;
  const std::string text(bytes.begin(), bytes.end());
  for (size_t at = text.find("BITMAP "); at != std::string::npos; at = text.find("BITMAP ", at + 1)) {
    unsigned x = 0, y = 0, width = 0, height = 0, mode = 0;
    int used = 0;
    if (sscanf(text.c_str() + at, "BITMAP %u,%u,%u,%u,%u,%n", &x, &y, &width, &height, &mode, &used) != 5) continue;
    const uint8_t* data = bytes.data() + at + size_t(used);
    if (d.size() < y + height) d.resize(y + height);
    for (unsigned r = 0; r < height; ++r) {
      d[y + r].assign(width * 8u, false);
      for (unsigned c = 0; c < width * 8u; ++c) d[y + r][c] = !((data[r * width + c / 8] >> (7 - c % 8)) & 1);
    }
  }
  return d;
}

size_t Count(const std::vector<std::string>& log, const std::string& prefix) {
  return size_t(std::count_if(log.begin(), log.end(), [&](const std::string& m) { return m.rfind(prefix, 0) == 0; }));
}

TEST(DeliveryRunner, TwlJobsComeOutPageByPage) {
  lbl::DeliverOptions opts;
  opts.job.model = "Tarnwell TW-JA";
  opts.job.copies = 2;
  opts.jobs = 2;
  opts.pages = 2;
  lbl::DeliveryReport report;
  std::string error;
  ASSERT_TRUE(lbl::RunDelivery(opts, &report, &error)) << error;
  EXPECT_EQ(report.commandSet, "TWL");
  ASSERT_EQ(report.jobs.size(), 2u);
  uint16_t last = 0;
  for (const auto& job : report.jobs) {
    ASSERT_TRUE(job.rendered) << job.error;
    EXPECT_TRUE(job.ejected);
    ASSERT_EQ(job.pages.size(), 4u) << "two pages, two copies each";
    for (const auto& page : job.pages) {
      EXPECT_GT(page.number, last) << "page numbers follow the renderer's counter";
      last = page.number;
      EXPECT_EQ(page.rowBytes, 72u) << "the full print width of 72 mm at 203 dpi";
    }
    EXPECT_EQ(job.pages[0].raster, job.pages[1].raster) << "copies are the same page";
    EXPECT_NE(job.pages[0].raster, job.pages[2].raster);
    EXPECT_EQ(job.resends, 0u);
    EXPECT_EQ(Count(job.monitorLog, "WritePage: Page "), 5u) << "the job header and four page copies";
    EXPECT_EQ(Count(job.monitorLog, "RemovePrintedPages. Job " + std::to_string(job.jobId) + " is removed"), 1u);
  }
  EXPECT_TRUE(report.pageFilesLeft.empty());
  const std::string json = lbl::DeliveryReportJson(report);
  EXPECT_NE(json.find("\"Resends\": 0"), std::string::npos);
  auto pbm = lbl::TwlPagePbm(report.jobs[0].pages[0]);
  EXPECT_EQ(std::string(pbm.begin(), pbm.begin() + 7), "P4\n576 ");
  EXPECT_EQ(pbm.size(), 7 + std::to_string(report.jobs[0].pages[0].rows).size() + 1 + report.jobs[0].pages[0].raster.size());
}

// The monitor's log of today, as messages.
std::vector<std::string> MonitorLog() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::string name = "c:\\prtmonlog\\mon_" + std::to_string(now.wYear) + "-" + std::to_string(now.wMonth) + "-" +
                           std::to_string(now.wDay) + ".log";
  const std::vector<uint8_t> bytes = winsim::ReadHostFile(std::u16string(name.begin(), name.end()));
  const std::string text(bytes.begin(), bytes.end());
  std::vector<std::string> out;
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = text.substr(start, end - start);
    const size_t at = line.find("]:");
    out.push_back(at == std::string::npos ? line : line.substr(at + 2));
  }
  return out;
}

// An ordinary user prints to a TWL printer: the rendering DLL writes the page files as that user, the
// monitor (SYSTEM) delivers them, and another user can neither change, read nor remove them meanwhile.
TEST(DeliveryRunner, AStandardUsersTwlJobIsDeliveredAndItsPagesAreHisAlone) {
  const auto alice = winsim::StandardUser("alice"), bob = winsim::StandardUser("bob");
  lbl::DeliverOptions opts;
  opts.job.model = "Tarnwell TW-JA";
  opts.pages = 3;
  std::vector<std::string> queued;
  std::vector<DWORD> overwrite, replace, read, remove;
  std::thread other;
  opts.beforeJob = [&](int, winsim::TwlPrinterDevice* printer) {
    ASSERT_NE(printer, nullptr);
    // The printer takes nothing until bob has tried: the pages stay queued.
    printer->SetWriteFaults(true);
    other = std::thread([&, printer] {
      for (int waited = 0; waited < 10000 && queued.size() < 4; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        queued.clear();
        for (const auto& m : MonitorLog()) {
          const std::string added = "Enter ListPageFiles. Page ";
          if (m.rfind(added, 0) == 0) queued.push_back(m.substr(added.size(), m.find(" is added") - added.size()));
        }
      }
      {
        winsim::ActAs as(bob);
        for (const auto& path : queued) {
          const WString p = Utf8ToWide(path);
          auto open = [&](DWORD access, DWORD disposition) {
            HANDLE h = CreateFileW(p.c_str(), access, FILE_SHARE_READ, nullptr, disposition, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE) return GetLastError();
            CloseHandle(h);
            return DWORD(ERROR_SUCCESS);
          };
          overwrite.push_back(open(GENERIC_WRITE, OPEN_EXISTING));
          replace.push_back(open(GENERIC_WRITE, CREATE_ALWAYS));
          read.push_back(open(GENERIC_READ, OPEN_EXISTING));
          remove.push_back(DeleteFileW(p.c_str()) ? DWORD(ERROR_SUCCESS) : GetLastError());
        }
      }
      printer->SetWriteFaults(false);
    });
  };
  lbl::DeliveryReport report;
  std::string error;
  bool ran;
  {
    winsim::ActAs as(alice);
    ran = lbl::RunDelivery(opts, &report, &error);
  }
  if (other.joinable()) other.join();
  ASSERT_TRUE(ran) << error;
  ASSERT_EQ(report.jobs.size(), 1u);
  const auto& job = report.jobs[0];
  ASSERT_TRUE(job.rendered) << job.error;
  EXPECT_TRUE(job.ejected);
  EXPECT_EQ(job.pages.size(), 3u);
  EXPECT_TRUE(report.pageFilesLeft.empty());
  ASSERT_EQ(queued.size(), 4u) << "the job header and three pages were queued";
  const std::vector<DWORD> denied(4, ERROR_ACCESS_DENIED);
  EXPECT_EQ(overwrite, denied);
  EXPECT_EQ(replace, denied);
  EXPECT_EQ(read, denied);
  EXPECT_EQ(remove, denied);
}

TEST(DeliveryRunner, ReprintsAndFailedWritesAreReportedPerJob) {
  lbl::DeliverOptions opts;
  opts.job.model = "Tarnwell TW-JA";
  opts.jobs = 2;
  opts.pages = 3;
  opts.beforeJob = [](int job, winsim::TwlPrinterDevice* printer) {
    ASSERT_NE(printer, nullptr);
    if (job == 0) printer->LoseBlockAfter(1);  // the second page asks for itself again
    if (job == 1) printer->FailNextWrites(2);  // the job header is written on the third try
  };
  lbl::DeliveryReport report;
  std::string error;
  ASSERT_TRUE(lbl::RunDelivery(opts, &report, &error)) << error;
  ASSERT_EQ(report.jobs.size(), 2u);
  const auto& first = report.jobs[0];
  EXPECT_TRUE(first.ejected);
  EXPECT_EQ(first.pages.size(), 3u);
  EXPECT_EQ(first.resends, 1u);
  ASSERT_EQ(first.received.size(), 4u);
  EXPECT_EQ(first.received[1], first.received[2]);
  auto has = [](const std::vector<std::string>& log, const std::string& text) {
    return size_t(std::count_if(log.begin(), log.end(), [&](const std::string& m) { return m.find(text) != std::string::npos; }));
  };
  EXPECT_EQ(has(first.monitorLog, "] is asked re-print"), 1u);
  EXPECT_EQ(has(first.monitorLog, "] is removed, pIniPort"), 4u) << "the job header and three pages";
  const auto& second = report.jobs[1];
  EXPECT_TRUE(second.ejected);
  EXPECT_EQ(second.pages.size(), 3u);
  EXPECT_EQ(second.resends, 0u);
  EXPECT_EQ(Count(second.monitorLog, "WritePage: pfnWritePort failed sending the page "), 2u);
  EXPECT_EQ(Count(second.monitorLog, "PrintPageFiles. PP_WRITE_ERROR"), 2u);
  EXPECT_TRUE(report.pageFilesLeft.empty());
}

TEST(DeliveryRunner, TwlAndTsplPutTheSameDotsOnTheLabel) {
  lbl::DeliverOptions opts;
  opts.job.model = "Tarnwell TW-KA_";
  opts.job.hasSize = true;
  opts.job.widthTenths = 500;
  opts.job.lengthTenths = 300;
  lbl::DeliveryReport twl, tspl;
  std::string error;
  opts.commandSet = "TWL";
  ASSERT_TRUE(lbl::RunDelivery(opts, &twl, &error)) << error;
  opts.commandSet = "TSPL";
  ASSERT_TRUE(lbl::RunDelivery(opts, &tspl, &error)) << error;
  ASSERT_EQ(twl.jobs.size(), 1u);
  ASSERT_EQ(tspl.jobs.size(), 1u);
  ASSERT_TRUE(twl.jobs[0].rendered) << twl.jobs[0].error;
  ASSERT_TRUE(tspl.jobs[0].rendered) << tspl.jobs[0].error;
  ASSERT_EQ(twl.jobs[0].pages.size(), 1u);
  const auto& page = twl.jobs[0].pages[0];
  // The TWL page spans the canvas width, the model's print width of 104 mm, with the 50 mm label on it.
  EXPECT_EQ(page.rowBytes * 8u, 832u);
  EXPECT_EQ(page.rows, 240u);
  Dots fromTwl = Crop(FromTwl(page));
  Dots fromTspl = Crop(FromTspl(tspl.jobs[0].bytes));
  ASSERT_FALSE(fromTspl.empty());
  ASSERT_EQ(fromTwl.size(), fromTspl.size());
  ASSERT_EQ(fromTwl[0].size(), fromTspl[0].size());
  // TSPL printers take their bitmap turned by half (the model's default option bit 2).
  EXPECT_TRUE(fromTwl == HalfTurn(fromTspl)) << "the same black dots";
}

// lbl print --deliver: what the printer received, read back by the virtual printer of lbl view.
TEST(DeliveryRunner, PrintDeliverHandsTheLabelToThePrinterOfTheChosenLanguage) {
  const std::string pnm = "P1\n24 12\n" + std::string(24 * 12, '1');  // a black box
  lbl::RgbImage picture;
  std::string error;
  ASSERT_TRUE(lbl::DecodePnm(reinterpret_cast<const uint8_t*>(pnm.data()), pnm.size(), &picture, &error)) << error;
  lbl::PrintOptions opts;
  opts.job.model = "Tarnwell TW-KA_";
  opts.job.hasSize = true;
  opts.job.widthTenths = 500;
  opts.job.lengthTenths = 300;
  opts.job.copies = 2;
  opts.actualSize = true;
  std::vector<lbl::RgbImage> pictures{picture};

  lbl::DeliveryReport twl, tspl;
  std::vector<uint8_t> twlBytes, tsplBytes;
  ASSERT_TRUE(lbl::DeliverPrint(opts, pictures, &twl, &twlBytes, &error)) << error;
  opts.usbDeviceId = "MFG:Tarnwell;CMD:TSPL;MDL:TW-KA_;CLS:PRINTER;";
  ASSERT_TRUE(lbl::DeliverPrint(opts, pictures, &tspl, &tsplBytes, &error)) << error;
  EXPECT_EQ(twl.commandSet, "TWL");
  EXPECT_EQ(tspl.commandSet, "TSPL");
  ASSERT_EQ(twl.jobs.size(), 1u);
  EXPECT_TRUE(twl.jobs[0].ejected);
  EXPECT_EQ(twl.jobs[0].pages.size(), 2u);

  lblview::ViewOptions view;
  view.language = lblview::Language::Twl;
  lblview::ViewResult fromTwl, fromTspl;
  lblview::ViewError fault;
  ASSERT_TRUE(lblview::ViewStream(twlBytes.data(), twlBytes.size(), {}, view, &fromTwl, &fault)) << fault.Describe();
  ASSERT_TRUE(lblview::ViewStream(tsplBytes.data(), tsplBytes.size(), {}, lblview::ViewOptions{}, &fromTspl, &fault))
      << fault.Describe();
  EXPECT_EQ(fromTspl.language, lblview::Language::Tspl);
  ASSERT_EQ(fromTwl.labels.size(), 2u);
  ASSERT_EQ(fromTspl.labels.size(), 2u);
  EXPECT_EQ(fromTwl.labels[0].width, 832u) << "the TWL canvas";
  EXPECT_EQ(fromTwl.labels[0].BlackDots(), 24u * 12u);
  EXPECT_EQ(fromTwl.labels[0].BlackDots(), fromTspl.labels[0].BlackDots());
}

}  // namespace
