#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "common/crc16.h"
#include "render/writers/base64.h"
#include "tests/render/writers/writers_fixture.h"
#include "tools/viewer/viewer_internal.h"
#include "winsim/machine.h"

using ::testing::HasSubstr;
using ::testing::Not;

using namespace wtest;

namespace {

// Decoded by the viewer's parser, which is independent of the writer's encoder.
std::vector<uint8_t> Base64Decode(const std::string& text) {
  std::vector<uint8_t> out;
  size_t badAt = 0;
  std::string why;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  EXPECT_TRUE(lblview::detail::DecodeBase64(bytes, text.size(), &out, &badAt, &why)) << why << " at " << badAt;
  return out;
}

struct Band {
  unsigned x, y, total, bytes, rowBytes;
  std::string base64;
  unsigned crc;
  std::vector<uint8_t> data;  // inflated
};

// Parses every graphic field of a stream and checks each CRC line.
std::vector<Band> Bands(const std::string& s) {
  std::vector<Band> bands;
  std::regex re(R"(\^FO(\d+),(\d+)\^GFA,(\d+),(\d+),(\d+),:Z64:([A-Za-z0-9+/=]*):([0-9A-F]{4})\r\n)");
  for (auto it = std::sregex_iterator(s.begin(), s.end(), re); it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    Band b{static_cast<unsigned>(std::stoul(m[1])), static_cast<unsigned>(std::stoul(m[2])),
           static_cast<unsigned>(std::stoul(m[3])), static_cast<unsigned>(std::stoul(m[4])),
           static_cast<unsigned>(std::stoul(m[5])), m[6], static_cast<unsigned>(std::stoul(m[7], nullptr, 16)), {}};
    EXPECT_EQ(b.crc, Crc16Xmodem(b.base64.data(), b.base64.size()));
    std::vector<uint8_t> deflated = Base64Decode(b.base64);
    b.data.resize(b.total);
    uLongf size = b.total;
    EXPECT_EQ(uncompress(b.data.data(), &size, deflated.data(), static_cast<uLong>(deflated.size())), Z_OK);
    EXPECT_EQ(size, b.total);
    bands.push_back(std::move(b));
  }
  return bands;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& r, size_t from, size_t size, size_t padTo) {
  std::vector<uint8_t> out(r.begin() + static_cast<long>(from), r.begin() + static_cast<long>(from + size));
  out.resize(padTo, 0);
  return out;
}

}  // namespace

TEST(Base64, Rfc4648Vectors) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"}, {"\xFB\xFF\xBF", "+/+/"}};
  for (const auto& [in, out] : vectors) {
    std::string text(Base64EncodedSize(in.size()), '\0');
    EXPECT_EQ(Base64Encode(reinterpret_cast<const uint8_t*>(in.data()), in.size(), text.data()), out.size());
    EXPECT_EQ(text, out);
  }
}

TEST(Zpl, WorkedExample) {
  Job job(kLangZpl);
  WriteUserCommand(job.ctx, kUserCommandJobStart);
  WriteJobHeader(job.ctx);
  EXPECT_EQ(job.TakeSent(), "^XA\r\n^PR4\r\n~SD16\r\n^MNY\r\n^PQ1,1,1,Y\r\n^MMT,N\r\n^LT0\r\n^PMN\r\n^XZ\r\n\r\n");

  auto drawn = PatternRaster(50, 240);
  auto raster = drawn;
  SendPage(job.ctx, raster.data(), static_cast<DWORD>(raster.size()), 400, 240);
  std::string s = job.sink.sent;

  const std::string head = "^XA\r\n^PW400\r\n^LL240\r\n^PON\r\n^XZ\r\n\r\n^XA\r\n^FO0,0^GFA,15000,15000,50,:Z64:";
  ASSERT_EQ(s.substr(0, head.size()), head);
  ASSERT_GE(s.size(), head.size() + 8 + 7);
  EXPECT_EQ(s.substr(s.size() - 7), "^XZ\r\n\r\n");
  // What lies between is exactly one Base64 text and its CRC line.
  std::string field = s.substr(head.size(), s.size() - head.size() - 7);
  std::string base64 = field.substr(0, field.size() - 7);
  char crc[8];
  std::snprintf(crc, sizeof(crc), ":%04X\r\n", Crc16Xmodem(base64.data(), base64.size()));
  EXPECT_EQ(field.substr(base64.size()), crc);

  auto bands = Bands(s);
  ASSERT_EQ(bands.size(), 1u);
  // 240 rows of the raster inverted (1 = black), then 60 white rows.
  EXPECT_EQ(bands[0].data, Slice(wtest::Inverted(drawn), 0, 12000, 15000));
  EXPECT_EQ(job.settings.dm.dmPaperWidth, 500);
  EXPECT_EQ(job.settings.dm.dmPaperLength, 300);
}

TEST(Zpl, BandsOf300RowsPaddedWithWhite) {
  for (DWORD rows : {301u, 300u, 600u, 599u, 1u}) {
    SCOPED_TRACE(rows);
    Job job(kLangZpl);
    auto r = PatternRaster(4, rows);
    WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), rows);
    auto bands = Bands(job.sink.sent);
    ASSERT_EQ(bands.size(), (rows + 299) / 300);
    for (size_t i = 0; i < bands.size(); ++i) {
      EXPECT_EQ(bands[i].x, 0u);
      EXPECT_EQ(bands[i].y, i * 300);
      EXPECT_EQ(bands[i].total, 1200u);
      EXPECT_EQ(bands[i].bytes, 1200u);
      EXPECT_EQ(bands[i].rowBytes, 4u);
      size_t from = i * 1200;
      EXPECT_EQ(bands[i].data, Slice(r, from, std::min<size_t>(1200, r.size() - from), 1200));
    }
  }
}

TEST(Zpl, APageWithoutRowsSetsNoLabelLength) {
  // An all-white page that paper saving removed: width as usual, no "^LL0", no graphic field.
  Job job(kLangZpl);
  uint8_t none = 0;
  SendPage(job.ctx, &none, 0, 400, 0);
  EXPECT_THAT(job.sink.sent, Not(HasSubstr("^LL"))) << job.sink.sent;
  EXPECT_EQ(job.sink.sent.rfind("^XA\r\n^PW400\r\n^PON\r\n^XZ\r\n\r\n", 0), 0u) << job.sink.sent;
  EXPECT_THAT(job.sink.sent, Not(HasSubstr("^GFA")));
}

TEST(Zpl, PrintRateTable) {
  const std::pair<uint32_t, const char*> cases[] = {
      {150, "^PR1\r\n"}, {400, "^PR4\r\n"}, {100, "^PR1\r\n"}, {99, "^PRX\r\n"}, {75, "^PRX\r\n"}, {74, "^PRY\r\n"},
      {60, "^PRY\r\n"},  {50, "^PRY\r\n"},  {49, "^PRZ\r\n"},  {25, "^PRZ\r\n"}, {24, ""},          {10, ""},
  };
  for (const auto& [speed, line] : cases) {
    Job job(kLangZpl);
    job.settings.Speed = speed;
    std::string f = job.Header();
    EXPECT_EQ(f.substr(5, f.find("~SD") - 5), line) << speed;
  }
}

TEST(Zpl, SpeedAndDarknessFallBackFromPaperToSettingsToModel) {
  Job job(kLangZpl);
  job.paper.Speed = 500;
  job.paper.Darkness = 3;
  EXPECT_THAT(job.Header(), HasSubstr("^PR5\r\n~SD4\r\n"));
  job.paper.Speed = 0;
  job.paper.Darkness = 0;
  EXPECT_THAT(job.Header(), HasSubstr("^PR4\r\n~SD16\r\n"));
  job.settings.Speed = 0;
  job.settings.Darkness = 0;
  EXPECT_THAT(job.Header(), HasSubstr("^PR3\r\n~SD8\r\n"));  // model 300 and 5
}

TEST(Zpl, DarknessTable) {
  const std::pair<uint32_t, const char*> cases[] = {{8, "~SD14\r\n"}, {1, "~SD0\r\n"}, {16, "~SD30\r\n"}};
  for (const auto& [darkness, line] : cases) {
    Job job(kLangZpl);
    job.settings.Darkness = darkness;
    EXPECT_THAT(job.Header(), HasSubstr(std::string("\r\n") + line + "^MN")) << darkness;
  }
  // Nothing anywhere: the printer keeps its own darkness.
  Job job(kLangZpl);
  job.settings.Darkness = 0;
  job.model.Darkness = 0;
  EXPECT_THAT(job.Header(), Not(HasSubstr("~SD")));
}

TEST(Zpl, MediaTypeAndTracking) {
  struct Case {
    uint32_t mode;
    int32_t paperSpeed;
    uint32_t flags;
    const char* mt;
    const char* mn;
  } cases[] = {
      {0, 0, kPaperGap, "", "^MNY\r\n"},
      {1, 0, kPaperBlackMark, "^MTD\r\n", "^MNM\r\n"},
      {2, 0, kPaperContinuous, "^MTT\r\n", "^MNN\r\n"},
      {1, 200, kPaperContinuousUnfixed | kPaperThermalTransfer, "^MTT\r\n", ""},  // only the low three bits
      {2, 200, kPaperGap, "^MTD\r\n", "^MNY\r\n"},
      {3, 200, kPaperGap | kPaperThermalTransfer, "", "^MNY\r\n"},
  };
  for (const auto& c : cases) {
    Job job(kLangZpl);
    job.settings.PrintMode = c.mode;
    job.paper.Speed = c.paperSpeed;
    job.paper.Flags = c.flags;
    std::string f = job.Header();
    EXPECT_EQ(f.substr(5, f.find("^PR") - 5), c.mt) << c.mode << " " << c.flags;
    size_t sd = f.find("~SD");
    size_t eol = f.find("\r\n", sd) + 2;
    EXPECT_EQ(f.substr(eol, f.find("^PQ") - eol), c.mn) << c.mode << " " << c.flags;
  }
}

TEST(Zpl, QuantityCutModeAndLabelTop) {
  // With the occurrence "after every page", a cutter cuts every label whatever interval is stored;
  // action 4 cuts every IntervalPages labels, which the writer counts with the delayed cutter.
  const char* modes[] = {"", "^MMT,N\r\n", "^MMP,N\r\n", "^MMC,N\r\n", "^MMD,N\r\n", ""};
  const char* counts[] = {"0", "5", "5", "1", "5", "5"};
  for (uint32_t action = 0; action < 6; ++action) {
    Job job(kLangZpl);
    job.settings.PostAction = action;
    job.settings.IntervalPages = 5;
    job.settings.FeedOffset = -2500;
    std::string f = job.Header();
    std::string tail = Bytes()("^PQ1,")(counts[action])(",1,Y\r\n")(modes[action])("^LT-19\r\n^PMN\r\n^XZ\r\n\r\n");
    EXPECT_EQ(f.substr(f.find("^PQ")), tail) << action;
  }
}

// The cutter's occurrence: every label ^PQ1,1 in cutter mode; once after the job, or every N labels, the
// delayed cutter (^MMD), whose ~JK the writer sends after the job's last command text (and after every
// Nth label: Writers.CutsOverAWholeJobOfPagesAndCopies).
TEST(Zpl, CutOccurrenceInTheJobFormatAndAtTheJobEnd) {
  struct Case {
    uint32_t action, occurrence, interval;
    std::string modes, end;
  } cases[] = {
      {3, 0, 7, "^PQ1,1,1,Y\r\n^MMC,N\r\n", ""},
      {3, 2, 7, "^PQ1,7,1,Y\r\n^MMD,N\r\n", ""},
      {4, 0, 7, "^PQ1,7,1,Y\r\n^MMD,N\r\n", ""},
      {3, 1, 7, "^PQ1,1,1,Y\r\n^MMD,N\r\n", "~JK\r\n"},
      {1, 1, 7, "^PQ1,7,1,Y\r\n^MMT,N\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "action " << c.action << " occurrence " << c.occurrence);
    Job job(kLangZpl);
    job.SetCut(c.action, c.occurrence, c.interval);
    const std::string f = job.Header();
    EXPECT_EQ(f.substr(f.find("^PQ"), f.find("^LT") - f.find("^PQ")), c.modes);
    EXPECT_EQ(job.EndJob(u"^XA^FDend^XZ"), "^XA^FDend^XZ" + c.end);
    WriteUserCommand(job.ctx, kUserCommandPageEnd);
    EXPECT_EQ(job.TakeSent(), "");
  }
}

TEST(Zpl, PageSizeDescribesTheRasterSent) {
  Job job(kLangZpl);
  job.ctx.resolution = 300;
  job.settings.dm.dmPaperWidth = 1016;
  job.settings.dm.dmPaperLength = 1524;
  WritePageHeader(job.ctx);
  EXPECT_EQ(job.sink.sent, "^XA\r\n^PW1200\r\n^LL1800\r\n^PON\r\n^XZ\r\n\r\n");

  // Drawn at twice the 203 dpi of the model, the page reaches the printer as a 400 x 240 dot
  // raster: width and length say so, not the doubled drawing resolution.
  Job doubled(kLangZpl);
  doubled.settings.InputDPI = 1;
  doubled.ctx.resolution = 406;
  auto r = PatternRaster(50, 240);
  SendPage(doubled.ctx, r.data(), static_cast<DWORD>(r.size()), 400, 240);
  EXPECT_EQ(doubled.sink.sent.substr(0, 32), "^XA\r\n^PW400\r\n^LL240\r\n^PON\r\n^XZ\r\n");
  EXPECT_THAT(doubled.sink.sent, HasSubstr("^GFA,15000,15000,50,"));
}

TEST(Zpl, FailedOutputStopsTheBands) {
  winsim::ClearDebugLines();
  Job job(kLangZpl);
  job.sink.failAfter = 10;
  auto r = PatternRaster(10, 1000);
  WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), 1000);
  EXPECT_EQ(job.sink.sends, 1);  // the first field header fails; nothing more is tried
  EXPECT_EQ(winsim::DebugLines(),
            std::vector<std::string>{"ZPL band at row 0 not sent: the job's output failed.\r\n"});

  // A band refused part-way (its data, after its header went) is named by its first row.
  winsim::ClearDebugLines();
  Job later(kLangZpl);
  WriteRaster(later.ctx, r.data(), static_cast<DWORD>(r.size()), 1000);
  const size_t second = later.sink.sent.find("^FO0,300^GFA");
  ASSERT_NE(second, std::string::npos);
  winsim::ClearDebugLines();
  Job cut(kLangZpl);
  cut.sink.failAfter = second + 40;
  WriteRaster(cut.ctx, r.data(), static_cast<DWORD>(r.size()), 1000);
  EXPECT_EQ(winsim::DebugLines(),
            std::vector<std::string>{"ZPL band at row 300 not sent: the job's output failed.\r\n"});
}

// Later copies repeat the first copy's bytes exactly (they are sent again, not deflated again),
// and a copy whose output was refused part-way is made again by the writer.
TEST(Zpl, CopiesRepeatTheFirstCopyByteForByte) {
  auto r = PatternRaster(50, 700);
  Job one(kLangZpl);
  one.MarkPages(u"<p>", u"</p>");
  auto raster = r;
  SendPage(one.ctx, raster.data(), static_cast<DWORD>(raster.size()), 400, 700);
  const std::string page = one.sink.sent;
  ASSERT_EQ(Bands(page).size(), 3u);

  Job three(kLangZpl);
  three.settings.dm.dmCopies = 3;
  three.MarkPages(u"<p>", u"</p>");
  raster = r;
  SendPage(three.ctx, raster.data(), static_cast<DWORD>(raster.size()), 400, 700);
  EXPECT_EQ(three.sink.sent, page + page + page);

  // A sink that refuses one large send (the first band) and takes everything after it.
  struct RefuseOnce : wtest::RecordingSink {
    bool refused = false;
    int32_t Send(const void* data, DWORD size) override {
      if (!refused && size > 1000) {
        refused = true;
        return -1;
      }
      return wtest::RecordingSink::Send(data, size);
    }
  };
  Job twice(kLangZpl);
  RefuseOnce sink;
  twice.ctx.out = &sink;
  twice.settings.dm.dmCopies = 2;
  twice.MarkPages(u"<p>", u"</p>");
  raster = r;
  SendPage(twice.ctx, raster.data(), static_cast<DWORD>(raster.size()), 400, 700);
  // The first copy lost its raster (a failed send drops the rest of the operation); the second is whole.
  ASSERT_GE(sink.sent.size(), page.size());
  EXPECT_EQ(sink.sent.substr(sink.sent.size() - page.size()), page);
  EXPECT_LT(sink.sent.size(), 2 * page.size());
}
