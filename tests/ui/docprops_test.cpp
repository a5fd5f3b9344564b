// DrvDocumentPropertySheets without a sheet, the output DEVMODE, the installed paper and
// DrvConvertDevMode.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "doc_sheet.h"
#include "ui/docprops.h"
#include "ui_fixture.h"

namespace uitest {
namespace {

class DocProps : public UiTest {
 protected:
  DOCUMENTPROPERTYHEADER Header(DEVMODEW* in, void* out, DWORD cbOut, DWORD mode) {
    return DocumentHeader(printer, name, in, out, cbOut, mode);
  }
  WString name = ToWString(kPrinter.c_str());
  LPARAM Param(DOCUMENTPROPERTYHEADER* h) { return reinterpret_cast<LPARAM>(h); }
};

TEST_F(DocProps, SizeQueryReturnsTheWholeRecordSize) {
  Install();
  DOCUMENTPROPERTYHEADER h = Header(nullptr, nullptr, 0, 0);
  EXPECT_EQ(DrvDocumentPropertySheets(nullptr, Param(&h)), 2968);
  EXPECT_EQ(h.cbOut, 2968u);
  std::vector<uint8_t> out(4000);
  h = Header(nullptr, out.data(), 4000, 0);  // fMode 0 with a buffer is a size query too
  EXPECT_EQ(DrvDocumentPropertySheets(nullptr, Param(&h)), 2968);
  EXPECT_EQ(DrvDocumentPropertySheets(nullptr, 0), 0);
}

TEST_F(DocProps, NothingIsWrittenWithoutUpdateOrCopyOrWithoutPermission) {
  Install();
  std::vector<uint8_t> out(2968, 0xAB);
  for (DWORD mode : {DWORD(DM_PROMPT), DWORD(DM_COPY | DM_NOPERMISSION)}) {
    DOCUMENTPROPERTYHEADER h = Header(nullptr, out.data(), 2968, mode);
    EXPECT_EQ(DrvDocumentPropertySheets(nullptr, Param(&h)), 1);
    EXPECT_EQ(out, std::vector<uint8_t>(2968, 0xAB)) << "mode " << mode;
  }
}

TEST_F(DocProps, WithoutCallerRecordTheWholeSettingsAreCopied) {
  Install();
  PrinterDevmode out{};
  DOCUMENTPROPERTYHEADER h = Header(nullptr, &out, sizeof out, DM_COPY);
  ASSERT_EQ(DrvDocumentPropertySheets(nullptr, Param(&h)), 1);
  EXPECT_EQ(U16(out.dm.dmDeviceName), kPrinter);
  EXPECT_EQ(out.dm.dmSize, 220);
  EXPECT_EQ(out.dm.dmDriverExtra, 2748);
  EXPECT_EQ(out.Signature, kDevmodeSignature);
  EXPECT_EQ(out.PrintLanguage, kLangTspl);
}

TEST_F(DocProps, OlderCallerRecordGetsItsOwnVersionAndNoPrivateBytes) {
  Install();
  PrinterDevmode in = DefaultDevmode();
  in.dm.dmSize = 188;
  in.dm.dmDriverExtra = 0;
  in.dm.dmSpecVersion = 0x320;
  in.dm.dmFields = DM_COPIES | DM_PAPERSIZE;
  in.dm.dmCopies = 4;
  in.dm.dmPaperSize = 9;
  in.dm.dmPaperWidth = 2100;
  in.dm.dmPaperLength = 2970;
  std::vector<uint8_t> out(600, 0xCD);
  DOCUMENTPROPERTYHEADER h = Header(&in.dm, out.data(), 188, DM_UPDATE | DM_COPY);
  ASSERT_EQ(DrvDocumentPropertySheets(nullptr, Param(&h)), 1);
  const auto* dm = reinterpret_cast<const DEVMODEW*>(out.data());
  EXPECT_EQ(dm->dmSize, 188);
  EXPECT_EQ(dm->dmSpecVersion, 0x320);
  EXPECT_EQ(dm->dmDriverExtra, 0);
  EXPECT_EQ(dm->dmCopies, 4);
  EXPECT_EQ(dm->dmPaperSize, 9) << "the caller's paper fields come back unchanged";
  EXPECT_EQ(dm->dmPaperWidth, 2100);
  EXPECT_EQ(dm->dmPaperLength, 2970);
  EXPECT_EQ(U16(dm->dmDeviceName), kPrinter);
  EXPECT_EQ(out[188], 0xCD) << "no private bytes";
}

TEST_F(DocProps, ShortOutputBufferGetsAShortenedPrivatePartAndNeverMore) {
  Install();
  std::vector<uint8_t> out(2968, 0xAB);
  DOCUMENTPROPERTYHEADER h = Header(nullptr, out.data(), 2000, DM_COPY);
  ASSERT_EQ(DrvDocumentPropertySheets(nullptr, Param(&h)), 1);
  const auto* dm = reinterpret_cast<const DEVMODEW*>(out.data());
  EXPECT_EQ(dm->dmSize, 220);
  EXPECT_EQ(dm->dmDriverExtra, 2000 - 220);
  EXPECT_EQ(U16(dm->dmDeviceName), kPrinter);
  EXPECT_EQ(reinterpret_cast<const PrinterDevmode*>(out.data())->Signature, kDevmodeSignature);
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 2000, out.end()), std::vector<uint8_t>(968, 0xAB));

  // A caller record of its own version is cut the same way.
  PrinterDevmode in = DefaultDevmode();
  std::vector<uint8_t> out2(2968, 0xAB);
  h = Header(&in.dm, out2.data(), 300, DM_UPDATE | DM_COPY);
  ASSERT_EQ(DrvDocumentPropertySheets(nullptr, Param(&h)), 1);
  dm = reinterpret_cast<const DEVMODEW*>(out2.data());
  EXPECT_EQ(dm->dmDriverExtra, 80);
  uint32_t signature = 0;
  std::memcpy(&signature, out2.data() + 220, 4);
  EXPECT_EQ(signature, kDevmodeSignature);
  EXPECT_EQ(std::vector<uint8_t>(out2.begin() + 300, out2.end()), std::vector<uint8_t>(2668, 0xAB));
}

TEST_F(DocProps, OutputBufferWithoutRoomForThePublicPartIsRefused) {
  Install();
  std::vector<uint8_t> out(2968, 0xAB);
  DOCUMENTPROPERTYHEADER h = Header(nullptr, out.data(), 219, DM_COPY);
  EXPECT_EQ(DrvDocumentPropertySheets(nullptr, Param(&h)), -1);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(out, std::vector<uint8_t>(2968, 0xAB));
}

TEST_F(DocProps, CallerRecordThatIsAlsoTheOutputKeepsItsPaperFields) {
  Install();
  PrinterDevmode dm = DefaultDevmode();
  dm.dm.dmFields |= DM_PAPERSIZE;
  dm.dm.dmPaperSize = 9;
  dm.dm.dmPaperWidth = 2100;
  dm.dm.dmPaperLength = 2970;
  DOCUMENTPROPERTYHEADER h = Header(&dm.dm, &dm, sizeof dm, DM_UPDATE | DM_COPY);
  ASSERT_EQ(DrvDocumentPropertySheets(nullptr, Param(&h)), 1);
  EXPECT_EQ(dm.dm.dmPaperSize, 9);
  EXPECT_EQ(dm.dm.dmPaperWidth, 2100);
  EXPECT_EQ(dm.dm.dmPaperLength, 2970);
}

TEST_F(DocProps, CommitCurrentPaperSelectsTheStoredEntryAndStoresIt) {
  Install();
  SetForms(FiveEntries());
  Mapped m(MapPrinter(printer, nullptr, nullptr, 0));
  ASSERT_NE(m.ctx, nullptr);
  WStrCopy(m->CurrentPaper.Name, kPaperNameChars, TEXT("4 x 6"));
  CommitCurrentPaper(m.ctx);
  const DEVMODEW& dm = m->Settings.dm;
  EXPECT_EQ(dm.dmPaperSize, 257);
  EXPECT_EQ(dm.dmPaperWidth, 996);
  EXPECT_EQ(dm.dmPaperLength, 1514);
  EXPECT_EQ(U16(dm.dmFormName), u"4 x 6");
  EXPECT_EQ(dm.dmFields & kPaperFieldsMask, kPaperFieldsMask);
  InstalledPaper stored{};
  ASSERT_TRUE(ReadInstalledPaper(printer, &stored));
  EXPECT_EQ(U16(stored.Name), u"4 x 6");
  EXPECT_EQ(stored.ImageableArea.Bottom, 152400 - 1000);

  // A paper of its own (not in the list) keeps the user-defined size number.
  WStrCopy(m->CurrentPaper.Name, kPaperNameChars, TEXT("Mine"));
  m->Settings.dm.dmPaperSize = DMPAPER_USER;
  CommitCurrentPaper(m.ctx);
  EXPECT_EQ(dm.dmFields & kPaperFieldsMask, DWORD(DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH));
}

TEST_F(DocProps, Convert351NeedsRoomForTheOlderRecord) {
  Install();
  PrinterDevmode in = DefaultDevmode();
  in.Speed = 321;
  std::vector<uint8_t> out(2968, 0xAB);
  LONG size = 2935;
  EXPECT_FALSE(DrvConvertDevMode(name.data(), &in.dm, reinterpret_cast<DEVMODEW*>(out.data()), &size, CDM_CONVERT351));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 2936);
  EXPECT_EQ(out[0], 0xAB);

  ASSERT_TRUE(DrvConvertDevMode(name.data(), &in.dm, reinterpret_cast<DEVMODEW*>(out.data()), &size, CDM_CONVERT351));
  EXPECT_EQ(size, 2936);
  const auto* dm = reinterpret_cast<const DEVMODEW*>(out.data());
  EXPECT_EQ(dm->dmSize, 188);
  EXPECT_EQ(dm->dmSpecVersion, 0x320);
  EXPECT_EQ(dm->dmDriverVersion, 0x350);
  EXPECT_EQ(dm->dmDriverExtra, 2748);
  uint32_t signature = 0, speed = 0;
  std::memcpy(&signature, out.data() + 188, 4);
  std::memcpy(&speed, out.data() + 188 + (offsetof(PrinterDevmode, Speed) - 220), 4);
  EXPECT_EQ(signature, kDevmodeSignature);
  EXPECT_EQ(speed, 321u);

  in.dm.dmSize = 100;
  in.dm.dmSpecVersion = 0;
  EXPECT_FALSE(DrvConvertDevMode(name.data(), &in.dm, reinterpret_cast<DEVMODEW*>(out.data()), &size, CDM_CONVERT351));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(DocProps, ConvertCopiesIntoTheOutputsOwnVersion) {
  Install();
  PrinterDevmode in = DefaultDevmode();
  in.dm.dmCopies = 7;
  PrinterDevmode out{};
  out.dm.dmSize = 212;
  out.dm.dmDriverExtra = 100;
  LONG size = 311;
  EXPECT_FALSE(DrvConvertDevMode(name.data(), &in.dm, &out.dm, &size, CDM_CONVERT));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  size = 312;
  ASSERT_TRUE(DrvConvertDevMode(name.data(), &in.dm, &out.dm, &size, CDM_CONVERT));
  EXPECT_EQ(size, 312);
  EXPECT_EQ(out.dm.dmSpecVersion, 0x400);
  EXPECT_EQ(out.dm.dmCopies, 7);
  EXPECT_FALSE(DrvConvertDevMode(name.data(), nullptr, &out.dm, &size, CDM_CONVERT));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  SetLastError(0);
  EXPECT_FALSE(DrvConvertDevMode(name.data(), &in.dm, &out.dm, nullptr, CDM_CONVERT));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_FALSE(DrvConvertDevMode(name.data(), &in.dm, &out.dm, &size, 8));
  EXPECT_EQ(GetLastError(), 0u);
}

TEST_F(DocProps, DriverDefaultIsTheModelDefaultForThePrinter) {
  Install();
  PrinterDevmode out{};
  LONG size = 2000;
  EXPECT_FALSE(DrvConvertDevMode(name.data(), nullptr, &out.dm, &size, CDM_DRIVER_DEFAULT));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 2968);
  ASSERT_TRUE(DrvConvertDevMode(name.data(), nullptr, &out.dm, &size, CDM_DRIVER_DEFAULT));
  EXPECT_EQ(U16(out.dm.dmDeviceName), kPrinter);
  EXPECT_EQ(out.dm.dmPaperSize, 256);
  EXPECT_EQ(U16(out.dm.dmFormName), u"USER");
  EXPECT_EQ(out.Signature, kDevmodeSignature);

  WString unknown = ToWString(u"No such printer");
  EXPECT_FALSE(DrvConvertDevMode(unknown.data(), nullptr, &out.dm, &size, CDM_DRIVER_DEFAULT));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
}

}  // namespace
}  // namespace uitest
