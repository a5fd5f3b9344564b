// The Page Setup page, the label stock editor and the preview: the page driven through the document
// sheet on winsim, the preview's geometry read from the recorded GDI+ calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include <gdiplus.h>
#include "doc_sheet.h"
#include "ui/docprops.h"
#include "ui/pagesetup.h"
#include "ui/preview.h"
#include "ui/stockeditor.h"
#include "ui_fixture.h"
#include "winsim/clock.h"
#include "winsim/gdiplus.h"
#include "winsim/ui.h"

namespace uitest {
namespace {

namespace ui = winsim::ui;

// A filled round rectangle as the recorder saw it: the bounds of the arcs of its path.
struct Box {
  double x = 1e9, y = 1e9, right = -1e9, bottom = -1e9;
  uint32_t color = 0;
  double w() const { return right - x; }
  double h() const { return bottom - y; }
};

// The calls of the last drawing (since the last GdipCreateFromHDC).
std::vector<winsim::GdipCall> LastDrawing() {
  std::vector<winsim::GdipCall> all = winsim::GdipCalls();
  size_t from = 0;
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i].name == "GdipCreateFromHDC") from = i;
  return std::vector<winsim::GdipCall>(all.begin() + long(from), all.end());
}

std::vector<Box> FilledRoundRects(const std::vector<winsim::GdipCall>& calls) {
  std::vector<Box> out;
  Box cur;
  for (const auto& c : calls) {
    if (c.name == "GdipCreatePath") cur = Box{};
    if (c.name == "GdipAddPathArc") {
      cur.x = std::min(cur.x, c.args[0]);
      cur.y = std::min(cur.y, c.args[1]);
      cur.right = std::max(cur.right, c.args[0] + c.args[2]);
      cur.bottom = std::max(cur.bottom, c.args[1] + c.args[3]);
    }
    if (c.name == "GdipFillPath") {
      cur.color = c.color;
      out.push_back(cur);
    }
  }
  return out;
}

std::vector<winsim::GdipCall> Named(const std::vector<winsim::GdipCall>& calls, const std::string& name) {
  std::vector<winsim::GdipCall> out;
  for (const auto& c : calls)
    if (c.name == name) out.push_back(c);
  return out;
}

// Tenths of a millimetre as the list shows millimetres.
std::u16string Mm(int tenths) {
  std::string t = FormatA("%.1f", tenths / 10.0);
  return std::u16string(t.begin(), t.end());
}

PaperRecord Stock(const char16_t* name, int32_t width, int32_t length, uint32_t type, int32_t gap, int32_t offset = 0) {
  PaperRecord p = Paper(name, width, length);
  p.Flags = type | kPaperDirectThermal | kPaperInUse;
  p.GapHeight = gap;
  p.GapOffset = offset;
  return p;
}

// Drawing without a window: a memory DC the size of the preview control.
class Preview : public ::testing::Test {
 protected:
  ModelRecord model{};
  PrinterContext ctx{};
  ULONG_PTR token = 0;
  HBITMAP bmp = nullptr;
  HDC dc = nullptr;
  void SetUp() override {
    winsim::Reset();
    Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    model.PrintWidth = 104000;
    ctx.Model = &model;
    dc = CreateCompatibleDC(nullptr);
    bmp = CreateCompatibleBitmap(nullptr, kPreviewWidth, kPreviewHeight);
    SelectObject(dc, bmp);
  }
  void TearDown() override {
    DeleteDC(dc);
    DeleteObject(bmp);
    Gdiplus::GdiplusShutdown(token);
  }
  std::vector<winsim::GdipCall> Draw(const PaperRecord& stock, int arrow = 0, int angle = 0, bool mirror = false,
                                     bool negative = false) {
    winsim::ClearGdipCalls();
    DrawStockPreview(dc, kPreviewWidth, kPreviewHeight, stock, &ctx, arrow, angle, mirror, negative);
    return LastDrawing();
  }
};

TEST_F(Preview, HeadBackingAndCentredLabelsOnA104mmPrinter) {
  winsim::ClearDebugLines();
  auto calls = Draw(Stock(u"52", 52000, 30000, kPaperGap, 2000));
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(Named(calls, "GdipGraphicsClear").at(0).color, 0xFFF0F0F0u);
  std::vector<Box> rects = FilledRoundRects(calls);
  ASSERT_GE(rects.size(), 3u);
  // The head and its slot.
  EXPECT_EQ(rects[0].color, 0xFFC8C8C8u);
  EXPECT_DOUBLE_EQ(rects[0].w(), kPreviewWidth);
  EXPECT_DOUBLE_EQ(rects[0].h(), 60);
  EXPECT_EQ(rects[1].color, 0xFF505050u);
  EXPECT_DOUBLE_EQ(rects[1].x, kPreviewWidth / 2.0 - 76);
  // 52 mm of 104 mm is 72 pixels, centred: x = (144 - 72) / 2 + 26.
  std::vector<Box> labels(rects.begin() + 2, rects.end());
  EXPECT_DOUBLE_EQ(labels[0].x, 62);
  EXPECT_NEAR(labels[0].w(), 72, 1e-4);
  EXPECT_EQ(labels[0].color, 0xFFFFFFFFu);
  // Gap 2 mm and length 30 mm: q = trunc(2.77 + 41.54) = 44; ceil((226 - 1.38) / 44) = 6 labels.
  EXPECT_EQ(labels.size(), 6u);
  EXPECT_NEAR(labels[0].y, 34 + 2000 * 144.0 / 104000 / 2, 1e-4);
  EXPECT_NEAR(labels[1].y - labels[0].y, 32000 * 144.0 / 104000, 1e-4);
  const auto backing = Named(calls, "GdipFillRectangle").at(0);
  EXPECT_EQ(backing.color, 0xFFC8C8C8u);
  EXPECT_EQ(backing.args, (std::vector<double>{62, 34, 72, 226}));
  // "123" in every label, in Arial, black on white.
  const auto texts = Named(calls, "GdipDrawString");
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(texts[0].text, u"123");
  EXPECT_EQ(texts[0].family, u"Arial");
  EXPECT_EQ(texts[0].color, 0xFF000000u);
  std::vector<std::string> dbg = winsim::DebugLines();
  EXPECT_NE(std::find(dbg.begin(), dbg.end(), "Enter DrawObjects.\r\n"), dbg.end());
  EXPECT_NE(std::find(dbg.begin(), dbg.end(), "Exit DrawObjects.\r\n"), dbg.end());
}

// Gaps, offsets and liners below 0 are drawn as none: a stored gap of -99999 mm (or INT32_MIN) gives the
// labels of a stock without a gap, not a picture of endless labels.
TEST_F(Preview, NegativeGapsOffsetsAndLinersDrawAsNone) {
  for (int32_t gap : {-99999000, INT32_MIN, 0}) {
    SCOPED_TRACE(gap);
    PaperRecord stock = Stock(u"a", 52000, 30000, kPaperGap, gap, -5000);
    stock.MarginLeft = stock.MarginRight = gap;
    PreviewRecord r{};
    ASSERT_TRUE(BuildPreviewRecord(&model, stock, 0, 0, false, false, &r));
    EXPECT_EQ(r.GapHeight, 0);
    EXPECT_EQ(r.GapOffset, 0);
    EXPECT_EQ(r.LinerLeft, 0);
    // Length 30 mm on 104 mm: q = trunc(41.54) = 41; ceil(226 / 41) = 6 labels, the first at the origin.
    std::vector<Box> rects = FilledRoundRects(Draw(stock));
    ASSERT_EQ(rects.size(), 2u + 6u);
    EXPECT_NEAR(rects[2].y, 34, 1e-9);
    EXPECT_NEAR(rects[3].y - rects[2].y, 30000 * 144.0 / 104000, 1e-4);
    // Black-mark paper: page steps of the label length (ceil(223 / 41) = 6), marks of no height.
    stock.Flags = kPaperBlackMark | kPaperInUse;
    const auto marks = Named(Draw(stock), "GdipFillRectangle");
    ASSERT_EQ(marks.size(), 2u + 6u) << "backing, paper and one mark per step";
    EXPECT_EQ(marks.back().args[3], 0);
  }
}

TEST_F(Preview, AlignmentMovesTheOrigin) {
  model.PaperAlignment = 1;
  EXPECT_DOUBLE_EQ(Named(Draw(Stock(u"a", 52000, 30000, kPaperGap, 2000)), "GdipFillRectangle").at(0).args[0], 26);
  model.PaperAlignment = 2;
  EXPECT_DOUBLE_EQ(Named(Draw(Stock(u"a", 52000, 30000, kPaperGap, 2000)), "GdipFillRectangle").at(0).args[0], 98);
  model.PaperAlignment = 7;  // out of range: centred
  EXPECT_DOUBLE_EQ(Named(Draw(Stock(u"a", 52000, 30000, kPaperGap, 2000)), "GdipFillRectangle").at(0).args[0], 62);
}

TEST_F(Preview, TextTurnsAndMirrorsAroundTheLabelCentreAndNegativeSwapsColours) {
  auto calls = Draw(Stock(u"a", 52000, 30000, kPaperGap, 2000), 0, 90, true, true);
  const auto text = Named(calls, "GdipDrawString").at(0);
  const Box label = FilledRoundRects(calls).at(2);
  EXPECT_EQ(label.color, 0xFF000000u);
  EXPECT_EQ(text.color, 0xFFFFFFFFu);
  // Rotate 90 then scale (-1, 1): m11 = 0, m12 = -1, m21 = -1, m22 = 0 and the label centre fixed.
  const double* m = text.transform;
  EXPECT_NEAR(m[0], 0, 1e-6);
  EXPECT_NEAR(std::fabs(m[1]), 1, 1e-6);
  EXPECT_NEAR(std::fabs(m[2]), 1, 1e-6);
  const double cx = label.x + label.w() / 2, cy = label.y + label.h() / 2;
  EXPECT_NEAR(m[0] * cx + m[2] * cy + m[4], cx, 1e-3);
  EXPECT_NEAR(m[1] * cx + m[3] * cy + m[5], cy, 1e-3);
}

TEST_F(Preview, ContinuousPaperDrawsPageLinesAndBlackMarks) {
  // 104 mm paper of 52 mm pages: q = 72, ceil(223 / 72) = 4 steps, 5 dashed lines.
  auto calls = Draw(Stock(u"c", 104000, 52000, kPaperBlackMark, 2000, 1000));
  const auto lines = Named(calls, "GdipDrawLine");
  std::vector<winsim::GdipCall> dashed;
  for (const auto& l : lines)
    if (l.dashStyle == Gdiplus::DashStyleDash) dashed.push_back(l);
  ASSERT_EQ(dashed.size(), 5u);
  EXPECT_DOUBLE_EQ(dashed[0].args[1], 37);
  EXPECT_NEAR(dashed[1].args[1], 37 + 72, 1e-4);
  // Marks: bottom edge 1 mm (1.38 px) above each new line, 2 mm (2.77 px) high, in the text colour.
  const auto fills = Named(calls, "GdipFillRectangle");
  ASSERT_EQ(fills.size(), 2u + 4u);  // backing, paper, one mark per step
  EXPECT_EQ(fills[1].color, 0xFFFFFFFFu);
  EXPECT_EQ(fills[2].color, 0xFF000000u);
  EXPECT_NEAR(fills[2].args[1] + fills[2].args[3], 37 + 72 - 1000 * 144.0 / 104000, 1e-4);
  EXPECT_NEAR(fills[2].args[3], 2000 * 144.0 / 104000, 1e-4);
}

TEST_F(Preview, ArrowsMarkTheFocusedField) {
  auto width = Named(Draw(Stock(u"a", 52000, 30000, kPaperGap, 2000), kArrowWidth), "GdipDrawLine");
  const auto& w = width.back();
  EXPECT_EQ(w.color, 0xFFFF0000u);
  EXPECT_EQ(w.penWidth, 4);
  EXPECT_EQ(w.startCap, Gdiplus::LineCapArrowAnchor);
  EXPECT_NEAR(w.args[0], 62, 1e-4);
  EXPECT_NEAR(w.args[2], 134, 1e-4);
  EXPECT_NEAR(w.args[1], 34 + 2000 * 144.0 / 104000 / 2 + 10, 1e-4);
  auto length = Named(Draw(Stock(u"a", 52000, 30000, kPaperGap, 2000), kArrowLength), "GdipDrawLine");
  EXPECT_NEAR(length.back().args[0], 72, 1e-4);
  EXPECT_NEAR(length.back().args[3] - length.back().args[1], 30000 * 144.0 / 104000, 1e-4);
}

TEST_F(Preview, WithoutAPrintWidthTheFallbackScalesOrNothingIsDrawn) {
  model.PrintWidth = 0;
  model.MaxWidth = 104000;  // no papers: MaxWidth
  EXPECT_NEAR(FilledRoundRects(Draw(Stock(u"a", 52000, 30000, kPaperGap, 2000))).at(2).w(), 72, 1e-4);
  model.MaxWidth = 0;
  EXPECT_TRUE(Draw(Stock(u"a", 52000, 30000, kPaperGap, 2000)).empty()) << "no width to scale by";
}

TEST_F(Preview, AStockNarrowerThanAPixelStillDrawsAFinitePicture) {
  auto gaps = Draw(Stock(u"t", 10, 10, kPaperGap, 0));
  EXPECT_EQ(FilledRoundRects(gaps).size(), 2u + 226u) << "one label per pixel of the area";
  auto paper = Draw(Stock(u"t", 10, 10, kPaperContinuous, 0));
  EXPECT_EQ(Named(paper, "GdipDrawString").size(), 223u);
}

// ---- the page and the editor on the document sheet ---------------------------------------------------

class PageSetup : public UiTest {
 protected:
  PrinterDevmode in{}, out{};
  DOCUMENTPROPERTYHEADER header{};
  DWORD result = 0;
  std::unique_ptr<ui::UiThread> thread;
  HWND sheet = nullptr, page = nullptr;
  WString name = ToWString(kPrinter.c_str());

  void SetUp() override {
    UiTest::SetUp();
    // TW-T1 with a 104 mm print width.
    catalogue = lbltest::Catalogue(ModelJson("TW-T1", 400, 2, R"("PrintWidth":104)"),
                                   lbltest::Paper("4 x 6", 101.6, 152.4));
  }
  static std::vector<PaperRecord> Stocks() {
    return {Paper(u"USER", 78600, 130000), Stock(u"Name", 60000, 40000, kPaperGap, 3000),
            Stock(u"Half", 52000, 30000, kPaperGap, 2000)};
  }
  void Open(const std::vector<PaperRecord>& stocks = Stocks(), const char16_t* form = u"Half", int language = -1) {
    Install();
    SetForms(stocks);
    in = DefaultDevmode();
    if (language >= 0) in.PrintLanguage = uint32_t(language);
    WStrCopy(in.dm.dmFormName, CCHFORMNAME, ToWString(form).c_str());
    in.dm.dmFields |= DM_FORMNAME;
    SetInstalled(Installed(form, 52000, 30000));
    header = DocumentHeader(printer, name, &in.dm, &out.dm, sizeof out, DM_UPDATE | DM_COPY);
    winsim::UseVirtualClock();
    thread = std::make_unique<ui::UiThread>([this] {
      return intptr_t(CommonPropertySheetUIW(nullptr, DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&header),
                                             &result));
    });
    sheet = ui::FindSheet();
    ASSERT_NE(sheet, nullptr);
    page = ui::Page(sheet, kPageSetupTemplate);
    ASSERT_NE(page, nullptr);
    ui::Settle(page);
  }
  void Ok() {
    ASSERT_TRUE(ui::Press(sheet, ui::Button::Ok));
    thread->Join();
    ui::WaitClosed(sheet);
  }
  void TearDown() override {
    clicker.reset();
    EXPECT_TRUE(ui::Unexpected().empty()) << "a system dialog no test answered";
    if (thread && !thread->Done()) ui::Press(sheet, ui::Button::Cancel);
    thread.reset();
    UiTest::TearDown();
  }
  // Clicks a button of the page that opens the stock editor and waits for the editor.
  // The editor runs modal inside the click on `clicker`'s thread; the click returns once it closes.
  HWND OpenEditor(int button) {
    clicker = std::make_unique<ui::UiThread>([this, button] { return intptr_t(ui::Click(page, button)); });
    HWND editor = ui::FindDialog(kStockEditorTemplate);
    if (editor) ui::Settle(editor);  // its opening steps done before the test reads it
    return editor;
  }
  std::unique_ptr<ui::UiThread> clicker;
};

TEST_F(PageSetup, OpensWithTheStockListSelectionAndControls) {
  Open();
  EXPECT_EQ(ui::PageIds(sheet).front(), kPageSetupTemplate);
  EXPECT_EQ(ui::Items(page, IDC_PS_STOCK),
            (std::vector<std::u16string>{u"Name(60.0 mm x 40.0 mm)", u"Half(52.0 mm x 30.0 mm)",
                                         u"USER(" + Mm(in.dm.dmPaperWidth) + u" mm x " + Mm(in.dm.dmPaperLength) +
                                             u" mm)"}));
  EXPECT_EQ(ui::CurSel(page, IDC_PS_STOCK), 1);
  EXPECT_TRUE(ui::Enabled(page, IDC_PS_DELETE));
  EXPECT_EQ(ui::Text(page, IDC_PS_UNIT1), u"mm");
  EXPECT_EQ(ui::Checked(page, IDC_PS_PORTRAIT), UINT(BST_CHECKED));
  EXPECT_EQ(ui::Items(page, IDC_PS_SCALE),
            (std::vector<std::u16string>{u"None", u"Fit", u"Scale to the print width", u"Shrink Oversized pages",
                                         u"Crop Oversized pages"}));
  EXPECT_EQ(ui::Text(page, IDC_PS_PRINTWIDTH), u"104.0");
  EXPECT_FALSE(ui::SheetChanged(sheet));
  ASSERT_TRUE(ui::Select(page, IDC_PS_STOCK, 2));
  EXPECT_FALSE(ui::Enabled(page, IDC_PS_DELETE)) << "USER cannot be removed";
  EXPECT_TRUE(ui::PageChanged(sheet, kPageSetupTemplate));
  ASSERT_TRUE(ui::Select(page, IDC_PS_STOCK, 1));
  EXPECT_FALSE(ui::PageChanged(sheet, kPageSetupTemplate)) << "back to the stored stock";
}

TEST_F(PageSetup, OffsetsSpinClampAndApply) {
  Open();
  ASSERT_TRUE(ui::Spin(page, IDC_PS_SHIFTV_SPIN, 1));
  EXPECT_EQ(ui::Text(page, IDC_PS_SHIFTV), u"0.1");
  ASSERT_TRUE(ui::Spin(page, IDC_PS_SHIFTV_SPIN, -2));
  EXPECT_EQ(ui::Text(page, IDC_PS_SHIFTV), u"-0.1");
  // Leaving the edit clamps to plus or minus the stock's width (52 mm).
  ASSERT_TRUE(ui::Type(page, IDC_PS_SHIFTH, u"99"));
  ASSERT_TRUE(ui::Focus(page, IDC_PS_SHIFTV));
  EXPECT_EQ(ui::Text(page, IDC_PS_SHIFTH), u"52.0");
  ASSERT_TRUE(ui::Type(page, IDC_PS_COPIES, u"0"));
  ASSERT_TRUE(ui::Focus(page, IDC_PS_SHIFTV));
  EXPECT_EQ(ui::Text(page, IDC_PS_COPIES), u"1");
  ASSERT_TRUE(ui::Type(page, IDC_PS_SHIFTH, u"7.25"));
  ASSERT_TRUE(ui::Type(page, IDC_PS_PRINTWIDTH, u"-5"));
  EXPECT_TRUE(ui::SheetChanged(sheet));
  Ok();
  EXPECT_EQ(out.ShiftH, 7250);
  EXPECT_EQ(out.ShiftV, -100);
  EXPECT_EQ(out.PrintWidth, 2500) << "clamped to the spin's 2.5 mm";
  EXPECT_EQ(U16(out.dm.dmFormName), u"Half");
}

// Enter takes the sheet's OK with the focus still in an offset: no focus is lost, yet what is stored is
// within the stock's range as leaving the field would have made it (the "Half" stock: 52 x 30 mm).
TEST_F(PageSetup, EnterStoresOffsetsWithinTheStockAsLeavingTheFieldWould) {
  Open();
  ASSERT_TRUE(ui::Type(page, IDC_PS_SHIFTH, u"-999"));
  ASSERT_TRUE(ui::Type(page, IDC_PS_SHIFTV, u"99999"));
  ASSERT_TRUE(ui::HasFocus(page, IDC_PS_SHIFTV));
  // The default button's command, as the dialog manager sends it for Enter.
  SendMessageW(sheet, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(sheet, IDOK)));
  thread->Join();
  ui::WaitClosed(sheet);
  EXPECT_EQ(out.ShiftH, -52000);
  EXPECT_EQ(out.ShiftV, 30000);
}

TEST_F(PageSetup, Landscape270StoresOrientationTwoWithRotationAndTurnsThePreview) {
  Open();
  winsim::ClearGdipCalls();
  ASSERT_TRUE(ui::Click(page, IDC_PS_LANDSCAPE270));
  auto text = Named(LastDrawing(), "GdipDrawString");
  ASSERT_FALSE(text.empty());
  EXPECT_NEAR(text[0].transform[0], 0, 1e-6);
  EXPECT_NEAR(text[0].transform[1], 1, 1e-6) << "turned by 90 degrees";
  // The preview label: 52 mm on the 104 mm printer.
  EXPECT_DOUBLE_EQ(FilledRoundRects(LastDrawing()).at(2).x, 62);
  ASSERT_TRUE(ui::Click(page, IDC_PS_MIRROR));
  Ok();
  EXPECT_EQ(out.dm.dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(out.Flags & (kFlagRotate180 | kFlagMirror), kFlagRotate180 | kFlagMirror);
}

TEST_F(PageSetup, ActivationTimerRedrawsThePreview) {
  Open();
  winsim::ClearGdipCalls();
  ui::Advance(60);
  EXPECT_FALSE(Named(winsim::GdipCalls(), "GdipDrawString").empty());
}

TEST_F(PageSetup, DeleteAsksAndRefillsOrTells) {
  Open();
  ui::QueueMessageBox(IDNO);
  ASSERT_TRUE(ui::Click(page, IDC_PS_DELETE));
  EXPECT_EQ(Forms().size(), 3u);
  ASSERT_EQ(ui::MessageBoxes().size(), 1u);
  EXPECT_EQ(ui::MessageBoxes()[0].text, u"Remove the paper \"Half\", yes or no?");
  EXPECT_EQ(ui::MessageBoxes()[0].caption, u"Question");
  ui::QueueMessageBox(IDYES);
  ASSERT_TRUE(ui::Click(page, IDC_PS_DELETE));
  EXPECT_EQ(Forms().size(), 2u);
  EXPECT_EQ(ui::Text(page, IDC_PS_STOCK).substr(0, 5), u"USER(");
  // Another name than the stored ones cannot be removed: the list is refilled on the same name.
  ASSERT_TRUE(ui::Select(page, IDC_PS_STOCK, 0));
  SetForms({Paper(u"USER", 78600, 130000)});
  ui::QueueMessageBox(IDYES);
  ui::QueueMessageBox(IDOK);
  ASSERT_TRUE(ui::Click(page, IDC_PS_DELETE));
  ASSERT_EQ(ui::MessageBoxes().size(), 4u);
  EXPECT_EQ(ui::MessageBoxes()[3].text, u"Failed to remove paper \"Name\".");
  EXPECT_EQ(ui::MessageBoxes()[3].caption, u"Information");
}

TEST_F(PageSetup, NewStockThroughTheEditor) {
  Open();
  HWND editor = OpenEditor(IDC_PS_NEW);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(ui::Text(editor, IDC_SE_NAME), u"New paper");
  EXPECT_EQ(ui::Items(editor, IDC_SE_TYPE),
            (std::vector<std::u16string>{u"Label paper with gaps", u"Label paper with black marks",
                                         u"Continuous paper", u"Un-fixed Continuous paper"}));
  EXPECT_EQ(ui::Items(editor, IDC_SE_SPEED).front(), u"2.00 inches/s (50.8 mm/s)");
  EXPECT_EQ(ui::Items(editor, IDC_SE_DARKNESS).front(), u"0");
  // The preview appears once its timer ran, with the arrow of the focused field.
  winsim::ClearGdipCalls();
  ASSERT_TRUE(ui::Focus(editor, IDC_SE_LENGTH));
  EXPECT_TRUE(Named(winsim::GdipCalls(), "GdipDrawString").empty()) << "not before the timer";
  ui::Advance(60);
  ASSERT_TRUE(ui::Type(editor, IDC_SE_LENGTH, u"99999999"));
  auto lines = Named(LastDrawing(), "GdipDrawLine");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().color, 0xFFFF0000u);
  EXPECT_DOUBLE_EQ(lines.back().args[0], lines.back().args[2]) << "the length arrow is upright";

  ASSERT_TRUE(ui::Type(editor, IDC_SE_NAME, u"Shipping"));
  ASSERT_TRUE(ui::Type(editor, IDC_SE_WIDTH, u"5"));
  ASSERT_TRUE(ui::Select(editor, IDC_SE_TYPE, 2));
  EXPECT_EQ(ui::Text(editor, IDC_SE_GAP), u"0");
  EXPECT_FALSE(ui::Enabled(editor, IDC_SE_GAP));
  if (ui::Checked(editor, IDC_SE_PRINT_SETTING) == BST_CHECKED) {
    ASSERT_TRUE(ui::Click(editor, IDC_SE_PRINT_SETTING));
  }
  EXPECT_FALSE(ui::Enabled(editor, IDC_SE_SPEED));
  ASSERT_TRUE(ui::Click(editor, IDOK));
  EXPECT_EQ(clicker->Join(), 1);
  std::vector<PaperRecord> forms = Forms();
  ASSERT_EQ(forms.size(), 4u);
  const PaperRecord& s = forms.back();
  EXPECT_EQ(U16(s.Name), u"Shipping");
  EXPECT_EQ(s.Length, 655350000) << "the length's spin maximum";
  EXPECT_EQ(s.Width, 20000) << "10 mm raised to the model's 20 mm minimum";
  EXPECT_EQ(s.Flags & 0x8000000Fu, 0x80000000u | kPaperContinuous);
  EXPECT_EQ(s.Speed, 0);
  EXPECT_EQ(s.Darkness, 0);
  EXPECT_EQ(ui::Text(page, IDC_PS_STOCK).substr(0, 9), u"Shipping(");
}

TEST_F(PageSetup, EditingRenamesAndUserKeepsItsName) {
  Open();
  HWND editor = OpenEditor(IDC_PS_EDIT);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(ui::Text(editor, IDC_SE_NAME), u"Half");
  EXPECT_EQ(ui::Text(editor, IDC_SE_WIDTH), u"52.0");
  EXPECT_EQ(ui::Text(editor, IDC_SE_GAP), u"2.0");
  if (ui::Checked(editor, IDC_SE_PRINT_SETTING) != BST_CHECKED) {
    ASSERT_TRUE(ui::Click(editor, IDC_SE_PRINT_SETTING));
  }
  ASSERT_TRUE(ui::Select(editor, IDC_SE_SPEED, 1));
  ASSERT_TRUE(ui::Select(editor, IDC_SE_DARKNESS, 3));
  ASSERT_TRUE(ui::Type(editor, IDC_SE_NAME, u"Half B"));
  ASSERT_TRUE(ui::Click(editor, IDOK));
  EXPECT_EQ(clicker->Join(), 1);
  std::vector<PaperRecord> forms = Forms();
  ASSERT_EQ(forms.size(), 3u);
  EXPECT_EQ(U16(forms[1].Name), u"Name");
  EXPECT_EQ(U16(forms[2].Name), u"Half B") << "saved, and the old name removed";
  EXPECT_EQ(forms[2].Speed, 250);
  EXPECT_EQ(forms[2].Darkness, 4);

  ASSERT_TRUE(ui::SelectText(page, IDC_PS_STOCK, ui::Items(page, IDC_PS_STOCK).back()));
  editor = OpenEditor(IDC_PS_EDIT);
  ASSERT_NE(editor, nullptr);
  EXPECT_FALSE(ui::Enabled(editor, IDC_SE_NAME)) << "USER keeps its name";
  ASSERT_TRUE(ui::Click(editor, IDCANCEL));
  EXPECT_EQ(clicker->Join(), 1);
  EXPECT_EQ(Forms().size(), 3u);
}

TEST_F(PageSetup, EscPrinterForcesContinuousPaper) {
  Open(Stocks(), u"Half", kLangEsc);
  HWND editor = OpenEditor(IDC_PS_EDIT);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(ui::Text(editor, IDC_SE_TYPE), u"Continuous paper");
  EXPECT_EQ(ui::Text(editor, IDC_SE_GAP), u"0");
  EXPECT_EQ(ui::Text(editor, IDC_SE_OFFSET), u"0");
  for (int id : {IDC_SE_TYPE, IDC_SE_PRINT_SETTING, IDC_SE_GAP, IDC_SE_OFFSET}) EXPECT_FALSE(ui::Enabled(editor, id));
  ASSERT_TRUE(ui::Click(editor, IDOK));
  EXPECT_EQ(clicker->Join(), 1);
  const PaperRecord s = Forms().back();
  EXPECT_EQ(s.Flags & kPaperMediaMask, kPaperContinuous);
  EXPECT_EQ(s.GapHeight, 0);
}

// Enter takes the editor's default button with the focus still in a field: the gap and its offset are
// brought into their 0 to 10.0 mm as leaving the field would.
TEST_F(PageSetup, EnterClampsTheGapAsLeavingTheFieldWould) {
  Open();
  HWND editor = OpenEditor(IDC_PS_NEW);
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(ui::Type(editor, IDC_SE_NAME, u"Clamped"));
  ASSERT_TRUE(ui::Type(editor, IDC_SE_OFFSET, u"12"));
  ASSERT_TRUE(ui::Type(editor, IDC_SE_GAP, u"-99999"));
  ASSERT_TRUE(ui::HasFocus(editor, IDC_SE_GAP));
  SendMessageW(editor, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(editor, IDOK)));
  EXPECT_EQ(clicker->Join(), 1);
  const PaperRecord saved = Forms().back();
  EXPECT_EQ(U16(saved.Name), u"Clamped");
  EXPECT_EQ(saved.GapHeight, 0);
  EXPECT_EQ(saved.GapOffset, 10000);

  // The record the editor makes is bounded whatever the text.
  const StockFields f{.Name = TEXT("x"), .LabelWidth = TEXT("50"), .Length = TEXT("30"), .LinerLeft = TEXT("-3"),
                      .LinerRight = TEXT("99"), .GapHeight = TEXT("-2147483648"), .GapOffset = TEXT("10.0"),
                      .TypeIndex = 0, .DirectThermal = true, .ThermalTransfer = false, .OwnPrintSetting = false,
                      .Speed = 0, .DarknessIndex = -1};
  const PaperRecord p = StockFromFields(f, nullptr);
  EXPECT_EQ(p.MarginLeft, 0);
  EXPECT_EQ(p.MarginRight, 10000);
  EXPECT_EQ(p.Width, 60000) << "50 mm and both liners";
  EXPECT_EQ(p.GapHeight, 0);
  EXPECT_EQ(p.GapOffset, 10000);
}

// A stock's name holds 31 characters: the name field takes no more, so the stock saved is the one named
// on the screen, not one cut short without a word (and possibly taken for another stock).
TEST_F(PageSetup, TheNameFieldTakesWhatTheStockHolds) {
  Open();
  HWND editor = OpenEditor(IDC_PS_NEW);
  ASSERT_NE(editor, nullptr);
  const std::u16string longName = u"A label stock name of forty characters..";
  ui::Type(editor, IDC_SE_NAME, longName);
  const std::u16string shown = ui::Text(editor, IDC_SE_NAME);
  EXPECT_EQ(shown, longName.substr(0, kPaperNameChars - 1));
  ASSERT_TRUE(ui::Click(editor, IDOK));
  EXPECT_EQ(clicker->Join(), 1);
  EXPECT_EQ(U16(Forms().back().Name), shown);
}

// Names the editor refuses or asks about: a blank name, "USER" for another stock, and the name of
// another stock, which is replaced only when the user says yes.
TEST_F(PageSetup, EditorRefusesBlankAndUserNamesAndAsksBeforeReplacing) {
  Open();
  HWND editor = OpenEditor(IDC_PS_NEW);
  ASSERT_NE(editor, nullptr);
  const std::pair<std::u16string, std::u16string> refused[] = {
      {u"", u"Enter a name for the label stock."},
      {u"   ", u"Enter a name for the label stock."},
      {u"USER", u"The name \"USER\" is kept for the document's own size. Choose another name."}};
  size_t boxes = 0;
  for (const auto& [name, message] : refused) {
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    ASSERT_TRUE(ui::Type(editor, IDC_SE_NAME, name));
    ui::QueueMessageBox(IDOK);
    ASSERT_TRUE(ui::Click(editor, IDOK));
    ASSERT_EQ(ui::MessageBoxes().size(), ++boxes);
    EXPECT_EQ(ui::MessageBoxes().back().text, message);
    EXPECT_TRUE(ui::HasFocus(editor, IDC_SE_NAME));
    EXPECT_FALSE(ui::WaitClosed(editor, 50));
  }
  // Another stock's name: No keeps the editor open and the other stock as it was.
  ASSERT_TRUE(ui::Type(editor, IDC_SE_NAME, u"Name"));
  ui::QueueMessageBox(IDNO);
  ASSERT_TRUE(ui::Click(editor, IDOK));
  ASSERT_EQ(ui::MessageBoxes().size(), ++boxes);
  EXPECT_EQ(ui::MessageBoxes().back().text, u"A label stock named \"Name\" exists already. Replace it?");
  EXPECT_EQ(ui::MessageBoxes().back().caption, u"Question");
  EXPECT_FALSE(ui::WaitClosed(editor, 50));
  ASSERT_TRUE(ui::Click(editor, IDCANCEL));
  EXPECT_EQ(clicker->Join(), 1);
  std::vector<PaperRecord> forms = Forms();
  ASSERT_EQ(forms.size(), 3u);
  EXPECT_EQ(forms[0].Width, 78600) << "USER as it was";
  EXPECT_EQ(forms[1].Width, 60000) << "Name as it was";

  // "Half" renamed onto "Name", and Yes: one stock named Name with Half's size, Half gone.
  editor = OpenEditor(IDC_PS_EDIT);
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(ui::Type(editor, IDC_SE_NAME, u"Name"));
  ui::QueueMessageBox(IDYES);
  ASSERT_TRUE(ui::Click(editor, IDOK));
  EXPECT_EQ(clicker->Join(), 1);
  forms = Forms();
  ASSERT_EQ(forms.size(), 2u);
  EXPECT_EQ(U16(forms[1].Name), u"Name");
  EXPECT_EQ(forms[1].Width, 52000);
  EXPECT_EQ(ui::Text(page, IDC_PS_STOCK), u"Name(52.0 mm x 30.0 mm)");

  // Saving a stock under its own name asks nothing.
  editor = OpenEditor(IDC_PS_EDIT);
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(ui::Click(editor, IDOK));
  EXPECT_EQ(clicker->Join(), 1);
  EXPECT_EQ(ui::MessageBoxes().size(), boxes + 1);
  EXPECT_EQ(CheckStockName(nullptr, TEXT("USER"), TEXT("USER")), StockNameProblem::kNone) << "USER edited";
}

// Offsets typed on the page stay when another stock is chosen and they fit it (plus or minus its
// width and length); one that does not fit goes to the nearest end of the new range.
TEST_F(PageSetup, TypedOffsetsStayWhenTheyFitTheNewStock) {
  Open();
  ASSERT_TRUE(ui::Type(page, IDC_PS_SHIFTH, u"7.25"));
  ASSERT_TRUE(ui::Type(page, IDC_PS_SHIFTV, u"-35"));
  ASSERT_TRUE(ui::SelectText(page, IDC_PS_STOCK, u"Name(60.0 mm x 40.0 mm)"));
  EXPECT_EQ(ui::Text(page, IDC_PS_SHIFTH), u"7.25");
  EXPECT_EQ(ui::Text(page, IDC_PS_SHIFTV), u"-35") << "within Name's 40 mm";
  ASSERT_TRUE(ui::SelectText(page, IDC_PS_STOCK, u"Half(52.0 mm x 30.0 mm)"));
  EXPECT_EQ(ui::Text(page, IDC_PS_SHIFTH), u"7.25");
  EXPECT_EQ(ui::Text(page, IDC_PS_SHIFTV), u"-30.0") << "Half is 30 mm long";
  Ok();
  EXPECT_EQ(out.ShiftH, 7250);
  EXPECT_EQ(out.ShiftV, -30000);
}

TEST_F(PageSetup, FailedSaveKeepsTheEditorOpen) {
  Open();
  SetForms({});  // an empty "FORMS" cannot be added to
  HWND editor = OpenEditor(IDC_PS_NEW);
  ASSERT_NE(editor, nullptr);
  ui::QueueMessageBox(IDOK);
  ASSERT_TRUE(ui::Click(editor, IDOK));
  ASSERT_EQ(ui::MessageBoxes().size(), 1u);
  EXPECT_EQ(ui::MessageBoxes()[0].text, u"Failed to save paper information.");
  EXPECT_FALSE(ui::WaitClosed(editor, 100));
  ASSERT_TRUE(ui::Click(editor, IDCANCEL));
  EXPECT_EQ(clicker->Join(), 1);
}

TEST(PageSetupText, MillimetresAndListing) {
  EXPECT_EQ(ParseMicrometres(TEXT("7.25")), 7250);
  EXPECT_EQ(ParseMicrometres(TEXT("-5")), -5000);
  EXPECT_EQ(ParseMicrometres(TEXT("0.0019")), 1);
  EXPECT_EQ(ParseMicrometres(TEXT("99999999")), 99999999000LL) << "no 32-bit overflow";
  EXPECT_EQ(ParseMicrometres(TEXT("abc")), 0);
  PaperRecord p = Paper(u"Name", 60000, 40000);
  EXPECT_EQ(ToWString(u"Name(60.0 mm x 40.0 mm)"), StockItemText(p));
  p.MarginLeft = 2000, p.MarginRight = 3000;
  EXPECT_EQ(ToWString(u"Name(55.0 mm x 40.0 mm)"), StockItemText(p)) << "the label without its liners";
}

// An application's own size (dmPaperSize 256, 50 x 30 mm, no form name) is the stock "USER" at that
// size: the page opens on it unchanged, and OK keeps the document's size.
TEST_F(PageSetup, CustomSizeDocumentOpensOnUserAtItsSize) {
  Install();
  SetForms(Stocks());
  SetInstalled(Installed(u"Half", 52000, 30000));
  PrinterDevmode dm = DefaultDevmode();
  std::memset(dm.dm.dmFormName, 0, sizeof dm.dm.dmFormName);
  dm.dm.dmFields = (dm.dm.dmFields & ~DWORD(DM_FORMNAME)) | DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
  dm.dm.dmPaperSize = DMPAPER_USER;
  dm.dm.dmPaperWidth = 500;
  dm.dm.dmPaperLength = 300;
  DocSheet s(printer, dm);
  HWND setup = s.Show(kPageSetupTemplate);
  ASSERT_NE(setup, nullptr);
  EXPECT_EQ(ui::Text(setup, IDC_PS_STOCK), u"USER(50.0 mm x 30.0 mm)");
  EXPECT_FALSE(ui::Enabled(setup, IDC_PS_DELETE));
  EXPECT_FALSE(ui::SheetChanged(s.sheet));
  ASSERT_TRUE(ui::Click(setup, IDC_PS_MIRROR));
  ASSERT_TRUE(s.Ok());
  EXPECT_EQ(s.out.dm.dmPaperSize, DMPAPER_USER);
  EXPECT_EQ(s.out.dm.dmPaperWidth, 500);
  EXPECT_EQ(s.out.dm.dmPaperLength, 300);
  EXPECT_EQ(s.out.dm.dmFields & (DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH),
            DWORD(DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH));
  EXPECT_EQ(U16(s.out.dm.dmFormName), u"USER");
  InstalledPaper stored{};
  ASSERT_TRUE(ReadInstalledPaper(printer, &stored));
  EXPECT_EQ(U16(stored.Name), u"USER");
  EXPECT_EQ(stored.Width, 50000);
  EXPECT_EQ(stored.Length, 30000);

  // A size of its own given with dmPaperSize 0, on a printer without a stock list: the document's
  // size too, not the installed paper's.
  Reinstall();
  SetInstalled(Installed(u"Half", 52000, 30000));
  dm.dm.dmPaperSize = 0;
  DocSheet bare(printer, dm);
  ASSERT_NE(bare.Show(kPageSetupTemplate), nullptr);
  ASSERT_TRUE(bare.Ok());
  EXPECT_EQ(bare.out.dm.dmPaperWidth, 500);
  EXPECT_EQ(bare.out.dm.dmPaperLength, 300);
}

}  // namespace
}  // namespace uitest
