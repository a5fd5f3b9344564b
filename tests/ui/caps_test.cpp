// DrvDeviceCapabilities and DrvSplDeviceCaps over a printer with a stored paper list.
#include <gtest/gtest.h>

#include <vector>

#include "ui/caps.h"
#include "ui_fixture.h"

namespace uitest {
namespace {

class Caps : public UiTest {
 protected:
  DWORD Query(WORD index, void* out = nullptr, DEVMODEW* dm = nullptr) {
    return DrvDeviceCapabilities(printer, nullptr, index, out, dm);
  }
};

TEST_F(Caps, FiveStockEntriesGiveTheirNumbersThenTheUserDefinedSize) {
  Install();
  SetForms(FiveEntries());
  WORD papers[8];
  std::fill(std::begin(papers), std::end(papers), WORD(0xEEEE));
  EXPECT_EQ(Query(DC_PAPERS), 5u);  // counting only
  EXPECT_EQ(Query(DC_PAPERS, papers), 5u);
  EXPECT_EQ(std::vector<WORD>(papers, papers + 6), (std::vector<WORD>{257, 258, 259, 260, 256, 0xEEEE}));

  std::vector<WCHAR> names(8 * kPaperNameSlot, WCHAR(0x2A));
  EXPECT_EQ(Query(DC_PAPERNAMES, names.data()), 5u);
  EXPECT_EQ(U16(&names[0]), u"4 x 6");
  EXPECT_EQ(U16(&names[3 * kPaperNameSlot]), u"2 x 1");
  EXPECT_EQ(U16(&names[4 * kPaperNameSlot]), u"Custom size");
  EXPECT_EQ(names[kPaperNameSlot - 1], 0) << "slots are zero-filled";
  EXPECT_EQ(names[5 * kPaperNameSlot], 0x2A) << "nothing past the count";
}

TEST_F(Caps, PaperSizesRoundToTenthsAndTheUserSizeTruncates) {
  Install();
  auto list = FiveEntries();
  list[0] = Paper(u"USER", 76090, 130099);  // the user-defined size reports entry 0 without rounding
  SetForms(list);
  POINT sizes[5] = {};
  ASSERT_EQ(Query(DC_PAPERSIZE, sizes), 5u);
  EXPECT_EQ(sizes[0].x, 1016);
  EXPECT_EQ(sizes[0].y, 1524);
  EXPECT_EQ(sizes[1].x, 760);  // 76.04 mm
  EXPECT_EQ(sizes[2].x, 761);  // 76.05 mm
  EXPECT_EQ(sizes[3].y, 254);
  EXPECT_EQ(sizes[4].x, 760);
  EXPECT_EQ(sizes[4].y, 1300);
}

TEST_F(Caps, PaperSizesAreCutTo16BitsAndSignExtended) {
  Install();
  SetForms({Paper(u"USER", 100000, 100000), Paper(u"Long", 100000, 4000000)});
  POINT sizes[2] = {};
  ASSERT_EQ(Query(DC_PAPERSIZE, sizes), 2u);
  EXPECT_EQ(sizes[0].y, 40000 - 65536);
}

TEST_F(Caps, MaxExtentClampsLengthsFromThreeMetresOn) {
  catalogue = lbltest::Catalogue(ModelJson("Another"));  // the data file's limits stay
  dataFile.i32(44, 104049).i32(48, 3276699);
  Install();
  EXPECT_EQ(Query(DC_MAXEXTENT), DWORD(1040 | 32767 << 16));
  EXPECT_EQ(Query(DC_MINEXTENT), 0x00640064u);

  dataFile.i32(48, 8000000);  // (8000000 + 50) / 100 would not fit 15 bits
  Reinstall();
  EXPECT_EQ(Query(DC_MAXEXTENT) >> 16, 0x7FFFu);
}

TEST_F(Caps, SpoolerQueryWritesWhatFitsAndReturnsTheFullCount) {
  Install();
  SetForms(FiveEntries());
  std::vector<WCHAR> buf(260, WCHAR(0x2A));
  EXPECT_EQ(DrvSplDeviceCaps(printer, nullptr, DC_PAPERNAMES, buf.data(), 200, nullptr), 5u);
  EXPECT_EQ(U16(&buf[2 * kPaperNameSlot]), u"76.05");
  EXPECT_EQ(buf[3 * kPaperNameSlot], 0x2A) << "a 200-character buffer holds three names";

  EXPECT_EQ(DrvSplDeviceCaps(printer, nullptr, DC_PAPERNAMES, buf.data(), 63, nullptr), kCapsError);
  EXPECT_EQ(DrvSplDeviceCaps(printer, nullptr, DC_PAPERNAMES, nullptr, 0, nullptr), 5u);
  EXPECT_EQ(DrvSplDeviceCaps(printer, nullptr, DC_PAPERS, buf.data(), 200, nullptr), kCapsError);
  EXPECT_EQ(DrvSplDeviceCaps(printer, nullptr, DC_MEDIAREADY, buf.data(), 128, nullptr), 4u);
  EXPECT_EQ(U16(&buf[kPaperNameSlot]), u"76.04");
}

TEST_F(Caps, MediaReadyListsStockUnlessTheLoadedPaperIsContinuous) {
  Install();
  SetForms(FiveEntries());
  std::vector<WCHAR> buf(8 * kPaperNameSlot);
  EXPECT_EQ(Query(DC_MEDIAREADY, buf.data()), 4u);
  EXPECT_EQ(U16(&buf[3 * kPaperNameSlot]), u"2 x 1");

  SetInstalled(Installed(u"Roll 80", 80000, 0));
  EXPECT_EQ(Query(DC_MEDIAREADY, buf.data()), 1u);
  EXPECT_EQ(U16(buf.data()), u"Roll 80");
}

TEST_F(Caps, ListsFailWithoutStoredPapersWhileOtherAnswersStay) {
  Install();
  EXPECT_EQ(Query(DC_PAPERS), kCapsError);
  EXPECT_EQ(Query(DC_PAPERSIZE), kCapsError);
  EXPECT_EQ(Query(DC_PAPERNAMES), kCapsError);
  EXPECT_EQ(Query(DC_MEDIAREADY), kCapsError);
  EXPECT_EQ(Query(DC_MAXEXTENT), DWORD(1040 | 22860 << 16));
  EXPECT_EQ(Query(99), kCapsError);
  EXPECT_EQ(DrvDeviceCapabilities(nullptr, nullptr, DC_SIZE, nullptr, nullptr), kCapsError);
}

TEST_F(Caps, PrintRateIsWholeInchesPerSecondTimesSixty) {
  catalogue = lbltest::Catalogue(ModelJson("TW-T1", 350));
  Install();
  EXPECT_EQ(Query(DC_PRINTRATE), 180u);
  EXPECT_EQ(Query(DC_PRINTRATEUNIT), DWORD(PRINTRATEUNIT_IPM));
  EXPECT_EQ(Query(DC_PRINTERMEM), 8192u);
}

TEST_F(Caps, PersonalityNamesThePrintLanguage) {
  const std::pair<int, std::u16string> cases[] = {{2, u"TSPL"}, {4, u"ZPL/ZPL2"}, {1, u"ESC/POS"}, {8, u"TWL"}};
  for (const auto& [language, name] : cases) {
    catalogue = lbltest::Catalogue(ModelJson("TW-T1", 400, language));
    Reinstall();
    WCHAR out[kPersonalitySlot];
    std::fill(std::begin(out), std::end(out), WCHAR(0x2A));
    EXPECT_EQ(Query(DC_PERSONALITY, out), 1u);
    EXPECT_EQ(U16(out), name) << "catalogue language " << language;
    EXPECT_EQ(out[kPersonalitySlot - 1], 0);
  }
}

TEST_F(Caps, BinNameFollowsTheRollPaperFlag) {
  Install();  // the data file marks roll paper
  WCHAR bin[kBinNameSlot];
  EXPECT_EQ(Query(DC_BINNAMES, bin), 1u);
  EXPECT_EQ(U16(bin), u"Roll paper storehouse");
  WORD binNumber = 0;
  EXPECT_EQ(Query(DC_BINS, &binNumber), 1u);
  EXPECT_EQ(binNumber, 1);

  dataFile.u32(68, 0x01);  // raster, no roll paper
  Reinstall();
  EXPECT_EQ(Query(DC_BINNAMES, bin), 1u);
  EXPECT_EQ(U16(bin), u"Main storehouse");
}

}  // namespace
}  // namespace uitest
