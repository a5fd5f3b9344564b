// What an IPP printer says about a model, and what a job's attributes become in the settings record:
// expected values from the catalogue's numbers and the units of IPP (hundredths of a millimetre,
// print-darkness -100 to 100), worked out here by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "common/devmode.h"
#include "common/paper.h"
#include "ipp/job_mapping.h"
#include "ipp/media_names.h"
#include "ipp/model_facts.h"

namespace {

const lblipp::ModelFacts& Facts(const std::string& driver) {
  static std::map<std::string, lblipp::ModelFacts> cache;
  auto it = cache.find(driver);
  if (it == cache.end()) {
    lblipp::ModelFacts f;
    std::string error;
    EXPECT_TRUE(lblipp::ReadModelFacts(driver, &f, &error)) << error;
    lblipp::NameStocks(&f);
    it = cache.emplace(driver, std::move(f)).first;
  }
  return it->second;
}

// The --set fields of mapped options, by name.
std::map<std::string, std::string> Sets(const lbl::PrintOptions& o) {
  std::map<std::string, std::string> m;
  for (const auto& [k, v] : o.set) m[k] = v;
  return m;
}

lbl::PrintOptions Map(const std::string& driver, const lblipp::JobRequest& r, std::vector<std::string>* notes = nullptr) {
  std::vector<std::string> ignored;
  const auto& f = Facts(driver);
  uint32_t language = 0;
  std::string error;
  EXPECT_TRUE(lblipp::ChoosePrinterLanguage(f, "", &language, &error)) << error;
  return lblipp::MapJob(f, language, r, notes ? notes : &ignored);
}

TEST(ModelFacts, ComeFromTheCatalogueModel) {
  const auto& qx = Facts("Tarnwell TW-QX");
  EXPECT_EQ(qx.dpi, 203);
  EXPECT_EQ(qx.maxWidth, 104000);
  EXPECT_EQ(qx.maxLength, 2286000);
  EXPECT_EQ(qx.speedMin, 200);
  EXPECT_EQ(qx.speedMax, 400);
  EXPECT_EQ(qx.speedStep, 100);
  EXPECT_EQ(qx.speedDefault, 0) << "no SendThis: the printer's own speed";
  EXPECT_EQ(qx.darknessMax, 16);
  EXPECT_EQ(qx.darknessDefault, 0);
  EXPECT_TRUE(qx.cutter);
  EXPECT_FALSE(qx.peeler);
  EXPECT_EQ(qx.languageSet, 2 | 4);
  EXPECT_EQ(qx.defaultLanguage, uint32_t(kLangTspl));
  // The shipped papers up to 104 mm wide: all but A4 and A5.
  std::vector<std::string> names;
  for (const auto& s : qx.stocks) names.push_back(s.name);
  EXPECT_EQ(names, (std::vector<std::string>{"4 x 6", "76mm x 130mm", "72mm x 130mm", "1.5 x 1", "2.5 x 1.25", "2 x 1",
                                              "3 x 1", "3 x 2", "4 x 4", "40mm x 30mm", "50mm x 30mm", "60mm x 40mm",
                                              "100mm x 100mm", "100mm x 150mm"}));
  EXPECT_EQ(qx.stocks[0].width, 101600);
  EXPECT_EQ(qx.stocks[0].length, 152400);
  EXPECT_EQ(qx.stocks[0].mediaType, kPaperGap);
  EXPECT_EQ(qx.stocks[0].gap, 3000);

  const auto& p300 = Facts("Tarnwell TW-P300");
  EXPECT_EQ(p300.dpi, 300);
  EXPECT_EQ(p300.speedDefault, 100) << "SendThis: the catalogue's 1.00 in/s";
  EXPECT_EQ(p300.darknessDefault, 16);
  EXPECT_TRUE(p300.peeler);

  const auto& la = Facts("Tarnwell TW-LA");  // 48 mm: two shipped papers fit
  ASSERT_EQ(la.stocks.size(), 2u);
  EXPECT_EQ(la.stocks[0].name, "1.5 x 1");
  EXPECT_EQ(la.stocks[1].name, "40mm x 30mm");
  EXPECT_EQ(la.languageSet, 1 | 2);
}

TEST(ModelFacts, EveryStockHasAMediaNameOfItsOwnSize) {
  for (const char* driver : {"Tarnwell TW-QX", "Tarnwell TW-KE_", "Tarnwell TW-LA"}) {
    const auto& f = Facts(driver);
    std::vector<std::string> seen;
    for (const auto& s : f.stocks) {
      ASSERT_FALSE(s.pwgName.empty()) << s.name;
      EXPECT_EQ(std::count(seen.begin(), seen.end(), s.pwgName), 0) << s.pwgName << " twice on " << driver;
      seen.push_back(s.pwgName);
      pwg_media_t* pwg = pwgMediaForPWG(s.pwgName.c_str());
      ASSERT_NE(pwg, nullptr) << s.pwgName;
      EXPECT_NEAR(pwg->width, s.width / 10, 10) << s.pwgName;
      EXPECT_NEAR(pwg->length, s.length / 10, 10) << s.pwgName;
    }
  }
  // A 4 x 6 in stock is the standard index card size; 100 x 150 mm has a standard name too.
  EXPECT_EQ(lblipp::StockPwgName("4 x 6", 101600, 152400), "na_index-4x6_4x6in");
  EXPECT_EQ(lblipp::StockPwgName("100mm x 150mm", 100000, 150000), "om_small-photo_100x150mm");
  // Two stocks of one size keep apart by name.
  lblipp::ModelFacts twins;
  twins.stocks = {{"4 x 6", "", 101600, 152400}, {"Returns 4x6", "", 101600, 152400}};
  lblipp::NameStocks(&twins);
  EXPECT_EQ(twins.stocks[0].pwgName, "na_index-4x6_4x6in");
  EXPECT_EQ(twins.stocks[1].pwgName, "custom_returns-4x6_4x6in");
}

TEST(ModelFacts, ThePrinterLanguageIsOneTheModelSpeaks) {
  uint32_t l = 99;
  std::string error;
  EXPECT_TRUE(lblipp::ChoosePrinterLanguage(Facts("Tarnwell TW-QX"), "zpl", &l, &error)) << error;
  EXPECT_EQ(l, uint32_t(kLangZpl));
  EXPECT_FALSE(lblipp::ChoosePrinterLanguage(Facts("Tarnwell TW-QX"), "twl", &l, &error));
  EXPECT_NE(error.find("tspl"), std::string::npos) << "the message lists what it speaks: " << error;
  EXPECT_FALSE(lblipp::ChoosePrinterLanguage(Facts("Tarnwell TW-QX"), "pcl", &l, &error));
  // TW-LC lists ESC only, though the catalogue's default names TSPL: the model's own language wins.
  EXPECT_TRUE(lblipp::ChoosePrinterLanguage(Facts("Tarnwell TW-LC"), "", &l, &error));
  EXPECT_EQ(l, uint32_t(kLangEsc));
  EXPECT_TRUE(lblipp::ChoosePrinterLanguage(Facts("Tarnwell TW-JA"), "", &l, &error));
  EXPECT_EQ(l, uint32_t(kLangTwl));
}

TEST(JobMapping, PrintSpeedSnapsToTheModelsSteps) {
  const auto& qx = Facts("Tarnwell TW-QX");  // 2, 3, 4 in/s
  EXPECT_EQ(lblipp::SpeedToIpp(300), 7620) << "3 in/s is 76.2 mm/s";
  EXPECT_EQ(lblipp::SpeedFromIpp(qx, 7620), 300);
  EXPECT_EQ(lblipp::SpeedFromIpp(qx, 8382), 300) << "3.3 in/s";
  EXPECT_EQ(lblipp::SpeedFromIpp(qx, 9398), 400) << "3.7 in/s";
  EXPECT_EQ(lblipp::SpeedFromIpp(qx, 100), 200) << "below the range";
  EXPECT_EQ(lblipp::SpeedFromIpp(qx, 1000000), 400) << "above the range";
  lblipp::JobRequest r;
  r.speed = 8382;
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r))["Speed"], "300");
  r.speed = 0;  // the printer's own speed
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r)).count("Speed"), 0u);
}

TEST(JobMapping, DarknessIsAPercentageOfTheModelsLevels) {
  const auto& qx = Facts("Tarnwell TW-QX");  // 16 levels, stored 1 to 16
  EXPECT_EQ(lblipp::DarknessToPercent(qx, 1), 0);
  EXPECT_EQ(lblipp::DarknessToPercent(qx, 16), 100);
  EXPECT_EQ(lblipp::DarknessFromPercent(qx, 100), 16);
  EXPECT_EQ(lblipp::DarknessFromPercent(qx, 0), 1);
  EXPECT_EQ(lblipp::DarknessFromPercent(qx, 50), 9) << "7.5 levels up rounds to level 8, stored 9";
  lblipp::JobRequest r;
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r)).count("Darkness"), 0u) << "nothing asked: the printer's own darkness";
  r.darknessConfigured = 60;
  r.darkness = 40;
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r))["Darkness"], "16") << "60 % + 40 = 100 %";
  r.darkness = -100;
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r))["Darkness"], "1") << "below 0 % is the lightest level";
  const auto& la = Facts("Tarnwell TW-LA");  // 3 levels
  EXPECT_EQ(lblipp::DarknessFromPercent(la, 50), 2);
  EXPECT_EQ(lblipp::DarknessToPercent(la, 3), 100);
}

TEST(JobMapping, MediaSelectsTheStockByNameThenBySize) {
  lblipp::JobRequest r;
  r.mediaName = "na_index-4x6_4x6in";
  auto o = Map("Tarnwell TW-QX", r);
  EXPECT_EQ(o.job.paper, "4 x 6");
  EXPECT_FALSE(o.job.hasSize);

  r = {};
  r.mediaWidth = 6000;  // 60 x 40 mm by size alone
  r.mediaLength = 4000;
  EXPECT_EQ(Map("Tarnwell TW-QX", r).job.paper, "60mm x 40mm");

  r = {};
  r.mediaWidth = 5800;  // 58 x 41.5 mm: no stock, a size of its own in tenths of a millimetre
  r.mediaLength = 4150;
  o = Map("Tarnwell TW-QX", r);
  EXPECT_TRUE(o.job.paper.empty());
  EXPECT_TRUE(o.job.hasSize);
  EXPECT_EQ(o.job.widthTenths, 580);
  EXPECT_EQ(o.job.lengthTenths, 415);

  std::vector<std::string> notes;
  r.mediaWidth = 21000;  // A4 does not fit a 104 mm head
  r.mediaLength = 29700;
  Map("Tarnwell TW-QX", r, &notes);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("outside"), std::string::npos) << notes[0];
}

TEST(JobMapping, LabelModesFollowTheAccessories) {
  EXPECT_EQ(lblipp::SupportedLabelModes(Facts("Tarnwell TW-QX")),
            (std::vector<std::string>{"tear-off", "cutter", "cutter-delayed"}));
  EXPECT_EQ(lblipp::SupportedLabelModes(Facts("Tarnwell TW-P300")), (std::vector<std::string>{"tear-off", "peel-off"}));
  lblipp::JobRequest r;
  r.labelMode = "cutter-delayed";
  auto s = Sets(Map("Tarnwell TW-QX", r));
  EXPECT_EQ(s["PostAction"], "3");
  EXPECT_EQ(s["PostActionOccurrence"], "1") << "cut once, after the job";
  r.labelMode = "cutter";
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r))["PostActionOccurrence"], "0");
  std::vector<std::string> notes;
  r.labelMode = "peel-off";  // TW-QX has no peeler
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r, &notes)).count("PostAction"), 0u);
  EXPECT_EQ(notes.size(), 1u);
  r = {};
  r.tearOffset = -150;  // -1.5 mm
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r))["FeedOffset"], "-1500");
}

TEST(JobMapping, ColourModeDitheringQualityCopiesAndOrientation) {
  lblipp::JobRequest r;
  r.colorMode = "bi-level";
  r.dithering = "stucki";
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r))["DitherLevel"], "8") << "bi-level is the fixed threshold";
  r.colorMode = "monochrome";
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r))["DitherLevel"], "3");
  std::vector<std::string> notes;
  r.dithering = "halftone";
  EXPECT_EQ(Sets(Map("Tarnwell TW-QX", r, &notes)).count("DitherLevel"), 0u);
  EXPECT_EQ(notes.size(), 1u);
  EXPECT_EQ(lblipp::DitherMethods().size(), 9u);
  EXPECT_STREQ(lblipp::DitherKeyword(9), "floyd-steinberg");
  EXPECT_STREQ(lblipp::DitherKeyword(12), "threshold");

  r = {};
  r.quality = 3;
  r.copies = 7;
  auto o = Map("Tarnwell TW-QX", r);
  EXPECT_EQ(Sets(o)["dmPrintQuality"], "-1");
  EXPECT_EQ(o.job.copies, 7);

  // Pictures arrive placed on the media; a PDF page is turned by the driver as on Windows.
  r = {};
  r.orientation = 5;  // reverse-landscape
  EXPECT_EQ(Map("Tarnwell TW-QX", r).job.orientation, 0);
  r.pagesOriented = false;
  o = Map("Tarnwell TW-QX", r);
  EXPECT_EQ(o.job.orientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(Sets(o)["Flags"], std::to_string(Facts("Tarnwell TW-QX").flags | 0x80));
  r.orientation = 4;
  o = Map("Tarnwell TW-QX", r);
  EXPECT_EQ(o.job.orientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(Sets(o).count("Flags"), 0u);
}

// A job's attributes as IPP carries them, and values of the wrong type or range.
TEST(JobRequest, ReadsTheJobTemplateAttributes) {
  ipp_t* job = ippNew();
  ipp_t* col = ippNew();
  ipp_t* size = ippNew();
  ippAddInteger(size, IPP_TAG_ZERO, IPP_TAG_INTEGER, "x-dimension", 5000);
  ippAddInteger(size, IPP_TAG_ZERO, IPP_TAG_INTEGER, "y-dimension", 3000);
  ippAddCollection(col, IPP_TAG_ZERO, "media-size", size);
  ippAddString(col, IPP_TAG_ZERO, IPP_TAG_KEYWORD, "media-type", nullptr, "labels-black-mark");
  ippAddCollection(job, IPP_TAG_JOB, "media-col", col);
  ippAddInteger(job, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", 3);
  ippAddInteger(job, IPP_TAG_JOB, IPP_TAG_ENUM, "orientation-requested", 4);
  ippAddInteger(job, IPP_TAG_JOB, IPP_TAG_INTEGER, "print-darkness", 150);  // out of range
  ippAddString(job, IPP_TAG_JOB, IPP_TAG_KEYWORD, "print-speed", nullptr, "fast");  // wrong type
  ippAddString(job, IPP_TAG_JOB, IPP_TAG_KEYWORD, lblipp::kDitheringAttribute, nullptr, "sierra");
  const auto r = lblipp::ReadJobRequest([job](const char* n) { return ippFindAttribute(job, n, IPP_TAG_ZERO); });
  EXPECT_EQ(r.mediaWidth, 5000);
  EXPECT_EQ(r.mediaLength, 3000);
  EXPECT_EQ(r.mediaType, "labels-black-mark");
  EXPECT_EQ(r.copies, 3);
  EXPECT_EQ(r.orientation, 4);
  EXPECT_FALSE(r.darkness.has_value());
  EXPECT_FALSE(r.speed.has_value());
  EXPECT_EQ(r.dithering, "sierra");
  ippDelete(size);
  ippDelete(col);
  ippDelete(job);

  ipp_t* plain = ippNew();
  ippAddString(plain, IPP_TAG_JOB, IPP_TAG_KEYWORD, "media", nullptr, "na_index-4x6_4x6in");
  const auto p = lblipp::ReadJobRequest([plain](const char* n) { return ippFindAttribute(plain, n, IPP_TAG_ZERO); });
  EXPECT_EQ(p.mediaName, "na_index-4x6_4x6in");
  EXPECT_EQ(p.mediaWidth, 10160) << "the size of a media keyword";
  EXPECT_EQ(p.mediaLength, 15240);
  ippDelete(plain);
}

}  // namespace
