#include <gtest/gtest.h>

#include <cstring>

#include "winsim/machine.h"
#include <windows.h>

namespace {

class Dc : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
};

HBITMAP Dib(int width, int height, int bpp, void** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = WORD(bpp);
  bi.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, bits, nullptr, 0);
}

TEST_F(Dc, DibSectionLayoutsSeeFillsWhereWindowsPutsThem) {
  struct Case {
    int height, bpp;
  } cases[] = {{-4, 32}, {4, 32}, {-4, 24}, {4, 24}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "height " << c.height << " bpp " << c.bpp);
    void* bits = nullptr;
    HBITMAP bmp = Dib(3, c.height, c.bpp, &bits);
    ASSERT_NE(bmp, nullptr);
    ASSERT_NE(bits, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    ASSERT_NE(old, nullptr);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT top{0, 0, 3, 1};  // the top row, right edge excluded
    EXPECT_EQ(FillRect(dc, &top, red), 1);
    const int stride = (3 * c.bpp + 31) / 32 * 4;
    const int bytes = c.bpp / 8;
    const auto* p = static_cast<const uint8_t*>(bits);
    const uint8_t* topRow = c.height < 0 ? p : p + 3 * stride;
    const uint8_t* otherRow = c.height < 0 ? p + 3 * stride : p;
    EXPECT_EQ(topRow[0], 0);  // blue
    EXPECT_EQ(topRow[2], 255);  // red
    EXPECT_EQ(topRow[2 * bytes + 2], 255) << "last column filled";
    EXPECT_EQ(otherRow[2], 0) << "bottom row untouched";
    EXPECT_EQ(GetPixel(dc, 2, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 2, 1), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 3, 0), CLR_INVALID);

    DIBSECTION ds{};
    EXPECT_EQ(GetObjectW(bmp, sizeof ds, &ds), int(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidth, 3);
    EXPECT_EQ(ds.dsBm.bmHeight, 4) << "always positive";
    EXPECT_EQ(ds.dsBm.bmWidthBytes, stride);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, c.bpp);
    EXPECT_EQ(ds.dsBm.bmBits, bits);
    EXPECT_EQ(ds.dsBmih.biHeight, c.height) << "keeps the orientation";
    BITMAP bm{};
    EXPECT_EQ(GetObjectW(bmp, sizeof bm, &bm), int(sizeof bm));
    EXPECT_EQ(GetObjectW(bmp, 0, nullptr), int(sizeof bm));

    EXPECT_FALSE(DeleteObject(bmp)) << "still selected";
    EXPECT_EQ(SelectObject(dc, old), bmp);
    EXPECT_TRUE(DeleteObject(bmp));
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_TRUE(DeleteDC(dc));
  }
}

TEST_F(Dc, BadArgumentsFail) {
  void* bits = reinterpret_cast<void*>(1);
  EXPECT_EQ(Dib(0, 4, 32, &bits), nullptr);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(Dib(4, 4, 16, &bits), nullptr);
  EXPECT_EQ(Dib(4, 0, 24, &bits), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, -1, 4), nullptr);

  HDC bogus = reinterpret_cast<HDC>(0x4444);
  EXPECT_EQ(CreateCompatibleDC(bogus), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(DeleteDC(bogus));
  EXPECT_EQ(SetBkColor(bogus, 0), CLR_INVALID);
  EXPECT_EQ(GetDeviceCaps(bogus, HORZRES), 0);
  RECT r{0, 0, 1, 1};
  EXPECT_EQ(FillRect(bogus, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 0);

  HDC dc = CreateCompatibleDC(nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(0x4444)), nullptr);
  EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(brush))) << "a brush is no DC";
  EXPECT_FALSE(BitBlt(dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY)) << "SRCCOPY needs a source";
  EXPECT_TRUE(BitBlt(dc, 0, 0, 1, 1, nullptr, 0, 0, WHITENESS));
  EXPECT_FALSE(DeleteDC(dc) && DeleteDC(dc)) << "deleted twice";
}

TEST_F(Dc, NewMemoryDcHoldsMonochromeAndStockObjects) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetObjectType(dc), DWORD(OBJ_MEMDC));
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof bm, &bm), int(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 1);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));

  // Compatible with the 1x1 monochrome bitmap: monochrome, as on Windows.
  HBITMAP mono = CreateCompatibleBitmap(dc, 8, 2);
  ASSERT_EQ(GetObjectW(mono, sizeof bm, &bm), int(sizeof bm));
  EXPECT_EQ(bm.bmBitsPixel, 1);
  EXPECT_EQ(bm.bmWidthBytes, 2);
  EXPECT_EQ(bm.bmBits, nullptr);
  HBITMAP colour = CreateCompatibleBitmap(nullptr, 5, 2);
  ASSERT_EQ(GetObjectW(colour, sizeof bm, &bm), int(sizeof bm));
  EXPECT_EQ(bm.bmBitsPixel, 32);
  EXPECT_EQ(GetObjectType(colour), DWORD(OBJ_BITMAP));

  LOGBRUSH lb{};
  ASSERT_EQ(GetObjectW(GetStockObject(LTGRAY_BRUSH), sizeof lb, &lb), int(sizeof lb));
  EXPECT_EQ(lb.lbColor, RGB(192, 192, 192));
  ASSERT_EQ(GetObjectW(GetStockObject(NULL_BRUSH), sizeof lb, &lb), int(sizeof lb));
  EXPECT_EQ(lb.lbStyle, UINT(BS_NULL));
  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH))) << "stock objects ignore deletion";
  EXPECT_EQ(GetObjectType(GetStockObject(WHITE_BRUSH)), DWORD(OBJ_BRUSH));

  EXPECT_EQ(GetDeviceCaps(dc, TECHNOLOGY), DT_RASDISPLAY);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 32);
  EXPECT_TRUE(GetDeviceCaps(dc, RASTERCAPS) & RC_STRETCHBLT);

  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(SetBkColor(dc, RGB(1, 2, 3)), RGB(255, 255, 255));
  EXPECT_EQ(SetTextColor(dc, RGB(4, 5, 6)), RGB(0, 0, 0));
  EXPECT_EQ(GetTextColor(dc), RGB(4, 5, 6));

  // Stock handles outlive a reset of the machine; others do not.
  winsim::Reset();
  EXPECT_EQ(GetObjectType(GetStockObject(BLACK_BRUSH)), DWORD(OBJ_BRUSH));
  EXPECT_EQ(GetObjectType(colour), 0u);
  EXPECT_EQ(GetObjectType(dc), 0u);
}

TEST_F(Dc, BlitsCopyStretchMirrorAndConvertMonochrome) {
  void* sbits = nullptr;
  void* dbits = nullptr;
  HBITMAP sb = Dib(2, -2, 32, &sbits);
  HBITMAP db = Dib(4, 4, 24, &dbits);  // bottom-up 24 bpp
  HDC src = CreateCompatibleDC(nullptr);
  HDC dst = CreateCompatibleDC(src);
  SelectObject(src, sb);
  SelectObject(dst, db);
  EXPECT_EQ(SelectObject(dst, sb), nullptr) << "one DC at a time";
  SetPixel(src, 0, 0, RGB(255, 0, 0));
  SetPixel(src, 1, 0, RGB(0, 255, 0));
  SetPixel(src, 0, 1, RGB(0, 0, 255));
  SetPixel(src, 1, 1, RGB(255, 255, 255));

  ASSERT_TRUE(BitBlt(dst, 1, 1, 2, 2, src, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 1, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst, 2, 2), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dst, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dst, 3, 3), RGB(0, 0, 0));

  // Doubling: each source pixel covers 2x2.
  ASSERT_TRUE(StretchBlt(dst, 0, 0, 4, 4, src, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 1, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst, 2, 1), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dst, 1, 2), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dst, 3, 3), RGB(255, 255, 255));
  // A negative source width mirrors.
  ASSERT_TRUE(StretchBlt(dst, 0, 0, 2, 1, src, 2, 0, -2, 1, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 0, 0), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dst, 1, 0), RGB(255, 0, 0));
  // Clipped at the edges without harm.
  EXPECT_TRUE(BitBlt(dst, 3, 3, 5, 5, src, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 3, 3), RGB(255, 0, 0));
  // An overlapping blit within one bitmap reads the bits from before it.
  ASSERT_TRUE(BitBlt(dst, 1, 0, 3, 1, dst, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 1, 0), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dst, 2, 0), RGB(255, 0, 0));

  // However far the rectangles reach: the bitmap lies just right of the middle of this one.
  EXPECT_TRUE(StretchBlt(dst, -1000000000, 0, 2000000000, 1, src, 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 0, 0), RGB(0, 255, 0));
  EXPECT_TRUE(BitBlt(dst, 2147483000, 2147483000, 1000, 1000, src, 0, 0, SRCCOPY));

  // Colour to monochrome: the source's background colour is white, the rest black; and back: black takes
  // the text colour, white the background colour.
  HDC mdc = CreateCompatibleDC(nullptr);
  HBITMAP mono = CreateCompatibleBitmap(mdc, 2, 2);
  SelectObject(mdc, mono);
  SetBkColor(src, RGB(255, 255, 255));
  ASSERT_TRUE(BitBlt(mdc, 0, 0, 2, 2, src, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(mdc, 1, 1), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(mdc, 0, 0), RGB(0, 0, 0));
  SetTextColor(dst, RGB(10, 20, 30));
  SetBkColor(dst, RGB(200, 100, 50));
  ASSERT_TRUE(BitBlt(dst, 0, 0, 2, 2, mdc, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 0, 0), RGB(10, 20, 30));
  EXPECT_EQ(GetPixel(dst, 1, 1), RGB(200, 100, 50));

  // Pattern and constant operations use no source.
  HBRUSH brush = CreateSolidBrush(RGB(9, 8, 7));
  SelectObject(dst, brush);
  ASSERT_TRUE(BitBlt(dst, 0, 0, 1, 1, nullptr, 0, 0, PATCOPY));
  EXPECT_EQ(GetPixel(dst, 0, 0), RGB(9, 8, 7));
  ASSERT_TRUE(BitBlt(dst, 0, 0, 1, 1, nullptr, 0, 0, WHITENESS));
  EXPECT_EQ(GetPixel(dst, 0, 0), RGB(255, 255, 255));
  ASSERT_TRUE(BitBlt(dst, 0, 0, 1, 1, src, 0, 0, SRCAND));
  EXPECT_EQ(GetPixel(dst, 0, 0), RGB(255, 0, 0));
  EXPECT_FALSE(BitBlt(dst, 0, 0, 1, 1, src, 0, 0, 0x00123456)) << "unknown raster operation";

  // The bits as Windows lays them out: bottom-up rows of BGR triplets, padded to 4 bytes.
  const auto* p = static_cast<const uint8_t*>(dbits);
  const uint8_t* row0 = p + 3 * 12;
  EXPECT_EQ(row0[0], 0);
  EXPECT_EQ(row0[2], 255);

  // System colour brushes (COLOR_WINDOW + 1 = 6) and the null brush.
  RECT r{0, 0, 1, 1};
  EXPECT_EQ(FillRect(dst, &r, reinterpret_cast<HBRUSH>(6)), 1);
  EXPECT_EQ(GetPixel(dst, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(FillRect(dst, &r, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 1);
  EXPECT_EQ(GetPixel(dst, 0, 0), RGB(255, 255, 255));

  DeleteDC(mdc);
  DeleteDC(src);
  DeleteDC(dst);
  EXPECT_TRUE(DeleteObject(sb)) << "free once its DC is gone";
  EXPECT_TRUE(DeleteObject(db));
  EXPECT_TRUE(DeleteObject(mono));
}

}  // namespace
