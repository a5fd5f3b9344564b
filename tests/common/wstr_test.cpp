#include "common/wstr.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

namespace {

// Readable failure output for 16-bit strings.
std::string Show(const WString& s) {
  std::string out;
  for (WCHAR c : s) {
    if (c >= 0x20 && c < 0x7F) out.push_back(static_cast<char>(c));
    else out += FormatA("\\u%04X", static_cast<unsigned>(static_cast<uint16_t>(c)));
  }
  return out;
}

#define EXPECT_WSTR(expected, actual) EXPECT_EQ(Show(WString(expected)), Show(WString(actual)))

TEST(WStr, LengthsTreatNullAsEmptyAndRespectBound) {
  EXPECT_EQ(WStrLen(nullptr), 0u);
  EXPECT_EQ(WStrLen(TEXT("abc")), 3u);
  EXPECT_EQ(WStrNLen(nullptr, 5), 0u);
  // No terminator inside the bound: the bound is the length, nothing after it is read.
  WCHAR field[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(WStrNLen(field, 4), 4u);
  EXPECT_EQ(WStrNLen(field, 2), 2u);
  EXPECT_EQ(WStrNLen(TEXT("ab"), 10), 2u);
}

TEST(WStr, ComparisonsAreOrdinalAndNullIsEmpty) {
  EXPECT_EQ(WStrCmp(TEXT("abc"), TEXT("abc")), 0);
  EXPECT_LT(WStrCmp(TEXT("ab"), TEXT("abc")), 0);
  EXPECT_GT(WStrCmp(TEXT("b"), TEXT("abc")), 0);
  EXPECT_LT(WStrCmp(TEXT("B"), TEXT("a")), 0);  // ordinal, not alphabetical
  // Code units compare unsigned: U+FF21 sorts after ASCII.
  const WCHAR wide[] = {0xFF21, 0};
  EXPECT_GT(WStrCmp(wide, TEXT("z")), 0);
  EXPECT_EQ(WStrCmp(nullptr, TEXT("")), 0);
  EXPECT_LT(WStrCmp(nullptr, TEXT("a")), 0);
  EXPECT_TRUE(WStrEq(TEXT("TW-QX"), TEXT("TW-QX")));
  EXPECT_FALSE(WStrEq(TEXT("TW-QX"), TEXT("tw-qx")));
}

TEST(WStr, CaseInsensitiveEqualityFoldsAsciiOnly) {
  EXPECT_TRUE(WStrEqNoCase(TEXT("USB001"), TEXT("usb001")));
  EXPECT_TRUE(WStrEqNoCase(nullptr, TEXT("")));
  EXPECT_FALSE(WStrEqNoCase(TEXT("USB001"), TEXT("usb0011")));
  EXPECT_FALSE(WStrEqNoCase(TEXT("@"), TEXT("`")));  // neighbours of the letter ranges
  const WCHAR upperAUmlaut[] = {0xC4, 0}, lowerAUmlaut[] = {0xE4, 0};
  EXPECT_FALSE(WStrEqNoCase(upperAUmlaut, lowerAUmlaut));
}

TEST(WStr, SubstringSearch) {
  const WCHAR* hay = TEXT("Standard TCP/IP Port");
  EXPECT_EQ(WStrStr(hay, TEXT("TCP/IP")), hay + 9);
  EXPECT_EQ(WStrStr(hay, TEXT("tcp/ip")), nullptr);
  EXPECT_EQ(WStrStr(hay, TEXT("Portx")), nullptr);
  EXPECT_EQ(WStrStr(hay, TEXT("")), hay);
  EXPECT_EQ(WStrStr(nullptr, TEXT("a")), nullptr);
  const WCHAR* overlap = TEXT("aaab");  // a partial match must not skip the real one
  EXPECT_EQ(WStrStr(overlap, TEXT("aab")), overlap + 1);
}

TEST(WStrCopy, FitsOrTruncatesWithoutOverflow) {
  WCHAR buf[6];
  for (auto& c : buf) c = 'X';
  EXPECT_TRUE(WStrCopy(buf, 5, TEXT("abcd")));
  EXPECT_WSTR(TEXT("abcd"), buf);
  EXPECT_EQ(buf[5], 'X');

  for (auto& c : buf) c = 'X';
  EXPECT_FALSE(WStrCopy(buf, 5, TEXT("abcdef")));
  EXPECT_WSTR(TEXT("abcd"), buf);
  EXPECT_EQ(buf[5], 'X');

  EXPECT_FALSE(WStrCopy(buf, 0, TEXT("a")));
  EXPECT_EQ(buf[0], 'a');  // untouched
  EXPECT_FALSE(WStrCopy(buf, 1, TEXT("a")));
  EXPECT_EQ(buf[0], 0);
  EXPECT_TRUE(WStrCopy(buf, 1, TEXT("")));
  EXPECT_TRUE(WStrCopy(buf, 6, nullptr));
  EXPECT_EQ(buf[0], 0);
}

TEST(WStrCopy, BoundedSourceReadsNoFurther) {
  // An unterminated fixed field followed by data that must not be copied.
  struct {
    WCHAR field[4];
    WCHAR after[2];
  } rec = {{'U', 'S', 'B', '1'}, {'!', 0}};
  WCHAR out[10];
  EXPECT_TRUE(WStrCopyN(out, 10, rec.field, 4));
  EXPECT_WSTR(TEXT("USB1"), out);
  EXPECT_FALSE(WStrCopyN(out, 3, rec.field, 4));
  EXPECT_WSTR(TEXT("US"), out);
  EXPECT_TRUE(WStrCopyN(out, 10, TEXT("ab"), 100));
  EXPECT_WSTR(TEXT("ab"), out);
}

TEST(WStrCopy, NarrowCopy) {
  char buf[5] = {'X', 'X', 'X', 'X', 'X'};
  EXPECT_FALSE(StrCopy(buf, 4, "Tarnwell"));
  EXPECT_STREQ(buf, "Tar");
  EXPECT_EQ(buf[4], 'X');
  EXPECT_TRUE(StrCopy(buf, 4, "TW"));
  EXPECT_STREQ(buf, "TW");
  EXPECT_TRUE(StrCopy(buf, 4, nullptr));
  EXPECT_STREQ(buf, "");
  EXPECT_FALSE(StrCopy(buf, 0, "a"));
}

TEST(WStrCopy, TerminateForcesLastCharacterOnlyWhenNeeded) {
  WCHAR full[3] = {'a', 'b', 'c'};
  WStrTerminate(full, 3);
  EXPECT_WSTR(TEXT("ab"), full);
  WCHAR shortField[3] = {'a', 0, 'c'};
  WStrTerminate(shortField, 3);
  EXPECT_EQ(shortField[2], 'c');
  WStrTerminate(full, 0);  // no-op, no write
}

TEST(WFormat, IntegersWithFlagsWidthAndPrecision) {
  EXPECT_WSTR(TEXT("42 -7 0"), WFormat(TEXT("%d %i %d"), 42, -7, 0));
  EXPECT_WSTR(TEXT("[   42][42   ][00042][-0042]"), WFormat(TEXT("[%5d][%-5d][%05d][%05d]"), 42, 42, 42, -42));
  EXPECT_WSTR(TEXT("USB001 07 0005 009"), WFormat(TEXT("USB%.3d %02d %04d %.3d"), 1, 7, 5, 9));
  EXPECT_WSTR(TEXT("  007"), WFormat(TEXT("%05.3d"), 7));  // precision turns off zero padding
  EXPECT_WSTR(TEXT("1234"), WFormat(TEXT("%02d"), 1234));  // width never cuts
  EXPECT_WSTR(TEXT("+5 | 5"), WFormat(TEXT("%+d |% d"), 5, 5));
  EXPECT_WSTR(TEXT("-2147483648 2147483647"), WFormat(TEXT("%d %d"), INT_MIN, INT_MAX));
  EXPECT_WSTR(TEXT("[]"), WFormat(TEXT("[%.0d]"), 0));
}

TEST(WFormat, UnsignedHexAndLengthModifiers) {
  EXPECT_WSTR(TEXT("4294967295 ffffffff FFFFFFFF"), WFormat(TEXT("%u %x %X"), 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu));
  EXPECT_WSTR(TEXT("f1dd F1DD 0x1f 00ab"), WFormat(TEXT("%04x %04X %#x %04x"), 0xF1DD, 0xF1DD, 0x1F, 0xAB));
  // 'l' is 32-bit as on Windows: LONG and DWORD arguments.
  LONG neg = -5;
  DWORD big = 0xFFFFFFFF;
  EXPECT_WSTR(TEXT("-5 4294967295 ffffffff"), WFormat(TEXT("%ld %lu %lx"), neg, big, big));
  EXPECT_WSTR(TEXT("-9000000000 18446744073709551615"),
              WFormat(TEXT("%lld %I64u"), -9000000000LL, static_cast<unsigned long long>(UINT64_MAX)));
  EXPECT_WSTR(TEXT("123"), WFormat(TEXT("%zu"), static_cast<size_t>(123)));
  EXPECT_WSTR(TEXT("-1 65535"), WFormat(TEXT("%hd %hu"), 0xFFFF, -1));
}

TEST(WFormat, StringsFollowWindowsConventions) {
  const WCHAR* w = TEXT("Tarnwell");
  EXPECT_WSTR(TEXT("Tarnwell Tarnwell TW-QX"), WFormat(TEXT("%s %ws %hs"), w, w, "TW-QX"));
  EXPECT_WSTR(TEXT("TW-QX"), WFormat(TEXT("%S"), "TW-QX"));
  EXPECT_WSTR(TEXT("Tar|TW"), WFormat(TEXT("%.3ws|%.2hs"), w, "TW-QX"));
  EXPECT_WSTR(TEXT("[  abc][abc  ]"), WFormat(TEXT("[%5ws][%-5ws]"), TEXT("abc"), TEXT("abc")));
  EXPECT_WSTR(TEXT("Tarnwell TW-QX"), WFormat(TEXT("%ws %ws"), w, TEXT("TW-QX")));
  EXPECT_WSTR(TEXT("(null) (null) (nu"), WFormat(TEXT("%ws %hs %.3s"), static_cast<const WCHAR*>(nullptr),
                                                 static_cast<const char*>(nullptr), static_cast<const WCHAR*>(nullptr)));
  EXPECT_WSTR(TEXT("ab"), WFormat(TEXT("%.*ws"), 2, TEXT("abcdef")));
  // Precision bounds the read: an unterminated field prints up to the precision only.
  WCHAR field[3] = {'x', 'y', 'z'};
  EXPECT_WSTR(TEXT("xyz"), WFormat(TEXT("%.3ws"), field));
}

TEST(WFormat, CharactersFloatsPointersAndLiterals) {
  EXPECT_WSTR(TEXT("A|\u00e9|  B"), WFormat(TEXT("%c|%c|%3c"), 'A', 0xE9, 'B'));
  EXPECT_WSTR(TEXT("2.500000 2.5 0.33 -1.0"), WFormat(TEXT("%f %.1f %.2f %.1f"), 2.5, 2.5, 1.0 / 3, -1.0));
  EXPECT_WSTR(TEXT(" 3.14"), WFormat(TEXT("%5.2f"), 3.14159));
  EXPECT_WSTR(TEXT("100% %y %"), WFormat(TEXT("100%% %y %")));
  // Pointers: upper-case hex padded to the pointer width, as on Windows.
  void* p = reinterpret_cast<void*>(static_cast<uintptr_t>(0xABCDEF));
  WString ps = WFormat(TEXT("%p"), p);
  EXPECT_EQ(ps.size(), sizeof(void*) * 2);
  EXPECT_WSTR(TEXT("ABCDEF"), ps.substr(ps.size() - 6));
  EXPECT_EQ(ps.find_first_not_of(static_cast<WCHAR>('0')), ps.size() - 6);
}

TEST(WFormat, ProjectFormats) {
  EXPECT_WSTR(TEXT("page_0003_jobid_012_1.dat"), WFormat(TEXT("page_%04d_jobid_%03d_%d.dat"), 3, 12, 1));
  EXPECT_WSTR(TEXT("2024-3-7 09:05:01.042\t[118]:hello"),
              WFormat(TEXT("%d-%d-%d %02d:%02d:%02d.%03d\t[%d]:%ws"), 2024, 3, 7, 9, 5, 1, 42, 118, TEXT("hello")));
  EXPECT_WSTR(TEXT("usbprint\\Tarnwellf1dd"), WFormat(TEXT("usbprint\\%ws%04x"), TEXT("Tarnwell"), 0xF1DD));
}

TEST(WFormatTo, TruncatesAndAlwaysTerminates) {
  WCHAR buf[8];
  for (auto& c : buf) c = 'X';
  EXPECT_EQ(WFormatTo(buf, 7, TEXT("USB%.3d"), 1), 6);
  EXPECT_WSTR(TEXT("USB001"), buf);
  EXPECT_EQ(buf[7], 'X');

  for (auto& c : buf) c = 'X';
  EXPECT_EQ(WFormatTo(buf, 6, TEXT("USB%.3d"), 1), -1);
  EXPECT_WSTR(TEXT("USB00"), buf);
  EXPECT_EQ(buf[6], 'X');

  EXPECT_EQ(WFormatTo(buf, 0, TEXT("a")), -1);
  EXPECT_EQ(buf[0], 'U');
  EXPECT_EQ(WFormatTo(buf, 1, TEXT("")), 0);
  EXPECT_EQ(buf[0], 0);
}

TEST(FormatA, NarrowPrintf) {
  EXPECT_EQ(FormatA("%s:%d\r\n", "error", 3), "error:3\r\n");
  EXPECT_EQ(FormatA("%04X", 0x31C3), "31C3");
  EXPECT_EQ(FormatA("%s", ""), "");
  std::string longText(5000, 'q');
  EXPECT_EQ(FormatA("<%s>", longText.c_str()).size(), 5002u);
}

TEST(WStrConvert, AnsiIsWindows1252) {
  // 0x80 is the euro sign in 1252, 0xE9 is e-acute.
  WString w = AnsiToWide("\x80 caf\xE9");
  ASSERT_EQ(w.size(), 6u);
  EXPECT_EQ(static_cast<uint16_t>(w[0]), 0x20AC);
  EXPECT_EQ(static_cast<uint16_t>(w[5]), 0xE9);
  EXPECT_EQ(WideToAnsi(w.c_str()), "\x80 caf\xE9");
  EXPECT_WSTR(TEXT("Tarn"), AnsiToWide("Tarnwell", 4));
  EXPECT_EQ(WideToAnsi(TEXT("Tarnwell"), 4), "Tarn");
  EXPECT_TRUE(AnsiToWide(nullptr).empty());
  EXPECT_TRUE(AnsiToWide("").empty());
  EXPECT_TRUE(WideToAnsi(nullptr).empty());
}

TEST(WStrConvert, Utf8RoundTripIncludingSurrogatePairs) {
  std::string utf8 = "\xE4\xB8\xAD\xF0\x9F\x96\xA8 A";  // U+4E2D, U+1F5A8, space, A
  WString w = Utf8ToWide(utf8);
  ASSERT_EQ(w.size(), 5u);
  EXPECT_EQ(static_cast<uint16_t>(w[0]), 0x4E2D);
  EXPECT_EQ(static_cast<uint16_t>(w[1]), 0xD83D);
  EXPECT_EQ(static_cast<uint16_t>(w[2]), 0xDDA8);
  EXPECT_EQ(WideToUtf8(w.c_str()), utf8);
  EXPECT_TRUE(Utf8ToWide("").empty());
}

TEST(WStrConvert, ToWStringCopiesLiteral) {
  WString w = ToWString(u"TW-KA_\u00e9");
  ASSERT_EQ(w.size(), 7u);
  EXPECT_EQ(static_cast<uint16_t>(w[6]), 0xE9);
  EXPECT_TRUE(ToWString(nullptr).empty());
}

}  // namespace
