#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include <gdiplus.h>

#include "winsim/gdiplus.h"
#include "winsim/machine.h"
#include <windows.h>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

constexpr int kSize = 64;
constexpr COLORREF kWhite = RGB(255, 255, 255);

class Gdip : public ::testing::Test {
 protected:
  ULONG_PTR token = 0;
  HDC dc = nullptr;
  HBITMAP bmp = nullptr;
  HGDIOBJ old = nullptr;
  GpGraphics* g = nullptr;

  void SetUp() override {
    winsim::Reset();
    GdiplusStartupInput input;
    ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = kSize;
    bi.bmiHeader.biHeight = kSize;  // bottom-up: GDI+ draws through a converted copy
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bmp);
    RECT all{0, 0, kSize, kSize};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ASSERT_EQ(GdipCreateFromHDC(dc, &g), Ok);
  }
  void TearDown() override {
    if (g) GdipDeleteGraphics(g);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bmp);
    GdiplusShutdown(token);
  }
  COLORREF At(int x, int y) { return GetPixel(dc, x, y); }
  const winsim::GdipCall* Last(const std::string& name) {
    static std::vector<winsim::GdipCall> calls;
    calls = winsim::GdipCalls();
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
      if (it->name == name) return &*it;
    return nullptr;
  }
};

TEST_F(Gdip, LinesAndRectanglesCoverThePixelsGdiplusCovers) {
  GpPen* pen = nullptr;
  GpSolidFill* red = nullptr;
  ASSERT_EQ(GdipCreatePen1(0xFF0000FF, 1, UnitPixel, &pen), Ok);
  ASSERT_EQ(GdipCreateSolidFill(0xFFFF0000, &red), Ok);

  ASSERT_EQ(GdipDrawLineI(g, pen, 10, 20, 50, 20), Ok);
  EXPECT_EQ(At(30, 20), RGB(0, 0, 255));
  EXPECT_EQ(At(30, 19), kWhite);
  EXPECT_EQ(At(30, 21), kWhite);

  ASSERT_EQ(GdipFillRectangleI(g, red, 5, 5, 10, 10), Ok);
  EXPECT_EQ(At(5, 5), RGB(255, 0, 0));
  EXPECT_EQ(At(14, 14), RGB(255, 0, 0));
  EXPECT_EQ(At(15, 15), kWhite) << "right and bottom edges excluded";
  EXPECT_EQ(At(4, 4), kWhite);

  ASSERT_EQ(GdipDrawRectangleI(g, pen, 40, 40, 10, 10), Ok);
  EXPECT_EQ(At(40, 45), RGB(0, 0, 255));
  EXPECT_EQ(At(50, 45), RGB(0, 0, 255)) << "a drawn rectangle is one pixel wider than filled";
  EXPECT_EQ(At(45, 45), kWhite);

  const winsim::GdipCall* line = Last("GdipDrawLineI");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->args, (std::vector<double>{10, 20, 50, 20}));
  EXPECT_EQ(line->color, 0xFF0000FFu);
  EXPECT_EQ(line->penWidth, 1);
  EXPECT_EQ(line->hdc, dc);
  const winsim::GdipCall* fill = Last("GdipFillRectangleI");
  ASSERT_NE(fill, nullptr);
  EXPECT_EQ(fill->args, (std::vector<double>{5, 5, 10, 10}));
  EXPECT_EQ(fill->color, 0xFFFF0000u);

  ASSERT_EQ(GdipGraphicsClear(g, 0xFF00FF00), Ok);
  EXPECT_EQ(At(0, 0), RGB(0, 255, 0));
  EXPECT_EQ(At(63, 63), RGB(0, 255, 0));
  GdipDeletePen(pen);
  GdipDeleteBrush(red);
}

TEST_F(Gdip, WorldTransformsComposeInTheirOrder) {
  GpSolidFill* black = nullptr;
  ASSERT_EQ(GdipCreateSolidFill(0xFF000000, &black), Ok);
  ASSERT_EQ(GdipTranslateWorldTransform(g, 30, 10, MatrixOrderPrepend), Ok);
  ASSERT_EQ(GdipRotateWorldTransform(g, 90, MatrixOrderPrepend), Ok);  // rotate, then translate
  ASSERT_EQ(GdipFillRectangle(g, black, 0, 0, 10, 2), Ok);
  // (x, y) -> (-y, x) -> (30 - y, 10 + x): x from 28 to 30, y from 10 to 20.
  EXPECT_EQ(At(28, 15), RGB(0, 0, 0));
  EXPECT_EQ(At(29, 19), RGB(0, 0, 0));
  EXPECT_EQ(At(30, 15), kWhite);
  EXPECT_EQ(At(27, 15), kWhite);
  EXPECT_EQ(At(29, 21), kWhite);
  const winsim::GdipCall* fill = Last("GdipFillRectangle");
  ASSERT_NE(fill, nullptr);
  const double expected[6] = {0, 1, -1, 0, 30, 10};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(fill->transform[i], expected[i], 1e-9) << i;

  ASSERT_EQ(GdipResetWorldTransform(g), Ok);
  ASSERT_EQ(GdipScaleWorldTransform(g, 2, 3, MatrixOrderPrepend), Ok);
  ASSERT_EQ(GdipTranslateWorldTransform(g, 5, 5, MatrixOrderAppend), Ok);  // scale, then move
  ASSERT_EQ(GdipFillRectangle(g, black, 20, 10, 1, 1), Ok);
  // x 45..47, y 35..38
  EXPECT_EQ(At(45, 35), RGB(0, 0, 0));
  EXPECT_EQ(At(46, 37), RGB(0, 0, 0));
  EXPECT_EQ(At(47, 36), kWhite);
  EXPECT_EQ(At(46, 38), kWhite);
  EXPECT_EQ(GdipRotateWorldTransform(g, 10, MatrixOrder(7)), InvalidParameter);
  GdipDeleteBrush(black);
}

TEST_F(Gdip, RoundedRectangleFromArcsAndLines) {
  GpPath* path = nullptr;
  GpSolidFill* green = nullptr;
  GpPen* pen = nullptr;
  ASSERT_EQ(GdipCreatePath(FillModeAlternate, &path), Ok);
  ASSERT_EQ(GdipCreateSolidFill(0xFF00FF00, &green), Ok);
  ASSERT_EQ(GdipCreatePen1(0xFFFF0000, 1, UnitWorld, &pen), Ok);
  // Corners of radius 5 on the rectangle 10..50.
  GdipAddPathArc(path, 10, 10, 10, 10, 180, 90);
  GdipAddPathLine(path, 15, 10, 45, 10);
  GdipAddPathArc(path, 40, 10, 10, 10, 270, 90);
  GdipAddPathLine(path, 50, 15, 50, 45);
  GdipAddPathArc(path, 40, 40, 10, 10, 0, 90);
  GdipAddPathLine(path, 45, 50, 15, 50);
  GdipAddPathArc(path, 10, 40, 10, 10, 90, 90);
  ASSERT_EQ(GdipClosePathFigure(path), Ok);
  ASSERT_EQ(GdipFillPath(g, green, path), Ok);
  EXPECT_EQ(At(30, 30), RGB(0, 255, 0));
  EXPECT_EQ(At(30, 10), RGB(0, 255, 0));
  EXPECT_EQ(At(30, 49), RGB(0, 255, 0));
  EXPECT_EQ(At(30, 50), kWhite);
  EXPECT_EQ(At(12, 12), RGB(0, 255, 0));
  EXPECT_EQ(At(10, 10), kWhite) << "the corner is cut";
  EXPECT_EQ(At(49, 49), kWhite);

  ASSERT_EQ(GdipDrawPath(g, pen, path), Ok);
  EXPECT_EQ(At(30, 10), RGB(255, 0, 0));
  EXPECT_EQ(At(50, 30), RGB(255, 0, 0));
  EXPECT_EQ(At(30, 30), RGB(0, 255, 0));

  std::vector<winsim::GdipCall> arcs;
  for (const auto& c : winsim::GdipCalls())
    if (c.name == "GdipAddPathArc") arcs.push_back(c);
  ASSERT_EQ(arcs.size(), 4u);
  EXPECT_EQ(arcs[1].args, (std::vector<double>{40, 10, 10, 10, 270, 90}));
  EXPECT_EQ(GdipFillPath(g, green, nullptr), InvalidParameter);
  GdipDeletePath(path);
  GdipDeleteBrush(green);
  GdipDeletePen(pen);
}

TEST_F(Gdip, PenCapsAndDashes) {
  GpPen* pen = nullptr;
  ASSERT_EQ(GdipCreatePen1(0xFF000000, 2, UnitPixel, &pen), Ok);
  ASSERT_EQ(GdipSetPenEndCap(pen, LineCapArrowAnchor), Ok);
  ASSERT_EQ(GdipSetPenStartCap(pen, LineCapRound), Ok);
  ASSERT_EQ(GdipSetPenDashStyle(pen, DashStyleDash), Ok);
  ASSERT_EQ(GdipDrawLine(g, pen, 10, 50, 50, 50), Ok);
  const winsim::GdipCall* line = Last("GdipDrawLine");
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->endCap, LineCapArrowAnchor);
  EXPECT_EQ(line->startCap, LineCapRound);
  EXPECT_EQ(line->dashStyle, DashStyleDash);
  EXPECT_EQ(line->penWidth, 2);
  // Dashes three widths long with gaps of one: on 10..16, off 16..18.
  EXPECT_EQ(At(12, 50), RGB(0, 0, 0));
  EXPECT_EQ(At(17, 50), kWhite);
  // The arrow head is wider than the line near its tip.
  EXPECT_EQ(At(46, 48), RGB(0, 0, 0));
  EXPECT_EQ(At(30, 48), kWhite);
  EXPECT_EQ(At(52, 50), kWhite) << "nothing beyond the tip";
  GdipDeletePen(pen);
}

TEST_F(Gdip, StringsInAFontFromAFamilyName) {
  GpFontFamily* family = nullptr;
  GpFont* font = nullptr;
  GpStringFormat* format = nullptr;
  GpSolidFill* black = nullptr;
  ASSERT_EQ(GdipCreateFontFamilyFromName(u"Arial", nullptr, &family), Ok);
  ASSERT_EQ(GdipCreateFont(family, 12, FontStyleBold, UnitPoint, &font), Ok);
  ASSERT_EQ(GdipCreateStringFormat(0, 0, &format), Ok);
  ASSERT_EQ(GdipSetStringFormatAlign(format, StringAlignmentCenter), Ok);
  ASSERT_EQ(GdipCreateSolidFill(0xFF000000, &black), Ok);
  RectF box(0, 0, kSize, 24);
  ASSERT_EQ(GdipDrawString(g, u"Hello", -1, font, &box, format, black), Ok);
  int inside = 0, below = 0;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x)
      if (GetRValue(At(x, y)) < 128) (y < 24 ? inside : below)++;
  EXPECT_GT(inside, 20) << "the text is drawn";
  EXPECT_EQ(below, 0) << "and stays in its box";
  const winsim::GdipCall* s = Last("GdipDrawString");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->text, u"Hello");
  EXPECT_EQ(s->family, u"Arial");
  ASSERT_GE(s->args.size(), 5u);
  EXPECT_NEAR(s->args[4], 16, 1e-6) << "12 points at 96 dpi";
  EXPECT_EQ(GdipCreateFontFamilyFromName(u"", nullptr, &family), FontFamilyNotFound);
  GdipDeleteFont(font);
  GdipDeleteFontFamily(family);
  GdipDeleteStringFormat(format);
  GdipDeleteBrush(black);
}

TEST_F(Gdip, BitmapsFromPixelsAndFromAnHbitmap) {
  // 2 x 2 pixels, 24-bit BGR rows top-down with 4-byte row padding.
  BYTE pixels[16] = {0, 0, 255, 0, 255, 0, 0, 0,  //
                     255, 0, 0, 255, 255, 255, 0, 0};
  GpBitmap* image = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromScan0(2, 2, 8, PixelFormat24bppRGB, pixels, &image), Ok);
  ASSERT_EQ(GdipDrawImageRectI(g, image, 0, 0, 32, 32), Ok);
  EXPECT_EQ(At(4, 4), RGB(255, 0, 0));
  EXPECT_EQ(At(28, 4), RGB(0, 255, 0));
  EXPECT_EQ(At(4, 28), RGB(0, 0, 255));
  EXPECT_EQ(At(28, 28), RGB(255, 255, 255));
  EXPECT_EQ(At(40, 40), kWhite) << "nothing outside the rectangle";
  const winsim::GdipCall* draw = Last("GdipDrawImageRect");
  ASSERT_NE(draw, nullptr);
  EXPECT_EQ(draw->args, (std::vector<double>{0, 0, 32, 32, 2, 2}));
  GdipDisposeImage(image);

  HDC src = CreateCompatibleDC(nullptr);
  HBITMAP hbm = CreateCompatibleBitmap(nullptr, 4, 4);
  HGDIOBJ prev = SelectObject(src, hbm);
  RECT r{0, 0, 4, 4};
  HBRUSH brush = CreateSolidBrush(RGB(12, 34, 56));
  FillRect(src, &r, brush);
  SelectObject(src, prev);
  ASSERT_EQ(GdipCreateBitmapFromHBITMAP(hbm, nullptr, &image), Ok);
  ASSERT_EQ(GdipDrawImageRectI(g, image, 40, 40, 8, 8), Ok);
  EXPECT_EQ(At(44, 44), RGB(12, 34, 56));
  GdipDisposeImage(image);
  DeleteObject(brush);
  DeleteObject(hbm);
  DeleteDC(src);
  EXPECT_EQ(GdipCreateBitmapFromScan0(2, 2, 2, PixelFormat24bppRGB, pixels, &image), InvalidParameter)
      << "stride shorter than a row";
}

TEST_F(Gdip, LifetimeErrorsAndPng) {
  GpPen* pen = nullptr;
  ASSERT_EQ(GdipCreatePen1(0xFF000000, 1, UnitPixel, &pen), Ok);
  EXPECT_EQ(winsim::LiveGdipObjects(), 2u) << "graphics and pen";
  EXPECT_EQ(GdipDeletePen(pen), Ok);
  EXPECT_EQ(GdipDeletePen(pen), InvalidParameter) << "deleted twice";
  EXPECT_EQ(GdipDrawLine(g, pen, 0, 0, 1, 1), InvalidParameter);
  GpSolidFill* brush = nullptr;
  ASSERT_EQ(GdipCreateSolidFill(0xFF000000, &brush), Ok);
  EXPECT_EQ(GdipDeletePen(reinterpret_cast<GpPen*>(brush)), InvalidParameter) << "a brush is no pen";
  EXPECT_EQ(GdipDeleteBrush(brush), Ok);
  GpGraphics* none = nullptr;
  EXPECT_EQ(GdipCreateFromHDC(reinterpret_cast<HDC>(0x4444), &none), OutOfMemory);
  EXPECT_EQ(none, nullptr);

  // This process's own file: another test program may run the same test at the same time.
  const std::string png = ::testing::TempDir() + "gdip_test_" + std::to_string(getpid()) + ".png";
  ASSERT_TRUE(winsim::WriteDcPng(dc, png));
  std::ifstream in(png, std::ios::binary);
  char sig[8] = {};
  in.read(sig, 8);
  EXPECT_EQ(std::string(sig + 1, 3), "PNG");
  std::remove(png.c_str());
  EXPECT_FALSE(winsim::WriteDcPng(reinterpret_cast<HDC>(0x4444), png));

  EXPECT_EQ(GdipDeleteGraphics(g), Ok);
  g = nullptr;
  EXPECT_EQ(winsim::LiveGdipObjects(), 0u);
  GdiplusShutdown(token);
  EXPECT_EQ(GdipCreateFromHDC(dc, &none), GdiplusNotInitialized);
  GdiplusStartupInput input;
  ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
  EXPECT_FALSE(winsim::GdipCalls().empty());
  winsim::Reset();
  EXPECT_TRUE(winsim::GdipCalls().empty()) << "Reset() clears the record";
}

}  // namespace
