#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "winsim/machine.h"
#include <windows.h>

namespace {

class Kernel : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
};

TEST_F(Kernel, LastErrorIsPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seen = 1;
  std::thread t([&] {
    seen = GetLastError();
    SetLastError(ERROR_INVALID_HANDLE);
  });
  t.join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(Kernel, LocalAllocZeroInitAndLocalFreeReturnsNull) {
  auto* p = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0) << i;
  EXPECT_EQ(LocalFree(p), nullptr);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
  void* z = LocalAlloc(LMEM_FIXED, 0);
  EXPECT_NE(z, nullptr);
  LocalFree(z);
}

TEST_F(Kernel, AnsiIsWindows1252) {
  const char in[] = "\x80\x8A\x9F\x81\xE9" "A";
  WCHAR out[8] = {};
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, in, -1, out, 8), 7);
  EXPECT_EQ(std::u16string(out), std::u16string(u"\u20AC\u0160\u0178\u0081\u00E9A"));

  char back[8] = {};
  BOOL usedDefault = TRUE;
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, out, -1, back, 8, nullptr, &usedDefault), 7);
  EXPECT_STREQ(back, in);
  EXPECT_FALSE(usedDefault);

  // Unmappable characters take the default character; a surrogate pair is one character.
  const WCHAR cjk[] = u"a\u4E2Db\U0001F600";
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, cjk, -1, back, 8, nullptr, &usedDefault), 5);
  EXPECT_STREQ(back, "a?b?");
  EXPECT_TRUE(usedDefault);
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, cjk, 3, back, 8, "#", nullptr), 3);
  EXPECT_EQ(std::string(back, 3), "a#b");
}

TEST_F(Kernel, ConversionSizeRules) {
  // -1 counts the terminator, an explicit length does not add one.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 0), 3);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", -1, nullptr, 0, nullptr, nullptr), 3);

  WCHAR w[3];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, w, 3), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  char c[2];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", 1, c, 1, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));

  auto invalid = [](int result, const char* what) {
    EXPECT_EQ(result, 0) << what;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER)) << what;
  };
  BOOL used;
  invalid(MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, w, 3), "null source");
  invalid(MultiByteToWideChar(CP_UTF8, 0, "a", 0, w, 3), "zero length");
  invalid(MultiByteToWideChar(CP_UTF8, 0, "a", 1, nullptr, 3), "null output with a size");
  invalid(MultiByteToWideChar(437, 0, "a", 1, w, 3), "unsupported code page");
  invalid(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, c, 2, nullptr, &used), "UTF-8 with a default-char flag");
  invalid(WideCharToMultiByte(CP_ACP, 0, u"a", -2, c, 2, nullptr, nullptr), "negative length");
}

TEST_F(Kernel, Utf8Conversions) {
  const char emoji[] = "x\xF0\x9F\x98\x80";
  WCHAR w[4];
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, emoji, 5, w, 4), 3);
  EXPECT_EQ(std::u16string(w, 3), std::u16string(u"x\U0001F600"));

  // Ill-formed input becomes U+FFFD unless the caller asks for strict decoding.
  ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xC3(\xFF", 4, w, 4), 4);
  EXPECT_EQ(std::u16string(w, 4), std::u16string(u"a\uFFFD(\uFFFD"));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xC3(", 3, w, 4), 0);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xED\xA0\x80", 3, w, 4), 0) << "encoded surrogate";

  const WCHAR lone[] = {u'a', 0xD800, u'b'};
  char out[8];
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, 3, out, 8, nullptr, nullptr), 5);
  EXPECT_EQ(std::string(out, 5), "a\xEF\xBF\xBD"
                                  "b");
}

TEST_F(Kernel, DebugOutputIsCapturedInOrderAcrossThreads) {
  OutputDebugStringW(u"first \u20AC\r\n");
  OutputDebugStringA("second \x80");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 100; ++i) OutputDebugStringW(u"x");
    });
  for (auto& t : threads) t.join();
  auto lines = winsim::DebugLines();
  ASSERT_EQ(lines.size(), 402u);
  EXPECT_EQ(lines[0], "first \xE2\x82\xAC\r\n");
  EXPECT_EQ(lines[1], "second \xE2\x82\xAC");
  EXPECT_EQ(lines[401], "x");

  winsim::Reset();
  EXPECT_TRUE(winsim::DebugLines().empty());
}

TEST_F(Kernel, SetClockRunsOnFromTheSetValue) {
  SYSTEMTIME set{2023, 12, 0, 31, 23, 59, 59, 990};
  const auto before = std::chrono::steady_clock::now();
  winsim::SetLocalTime(set);
  Sleep(30);
  SYSTEMTIME now;
  GetLocalTime(&now);
  const auto ran = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - before);
  EXPECT_EQ(now.wYear, 2024);
  EXPECT_EQ(now.wMonth, 1);
  EXPECT_EQ(now.wDay, 1);
  EXPECT_EQ(now.wDayOfWeek, 1);  // a Monday
  EXPECT_EQ(now.wHour, 0);
  // On by the time that passed: at least the 30 ms slept, at most what passed around the calls (a busy
  // machine may take long over them).
  const int64_t pastMidnight = now.wMinute * 60000 + now.wSecond * 1000 + now.wMilliseconds;
  EXPECT_GE(pastMidnight, 20);
  EXPECT_LE(pastMidnight, ran.count() - 10);

  winsim::SetLocalTime(SYSTEMTIME{2024, 2, 0, 29, 8, 5, 7, 0});
  GetLocalTime(&now);
  EXPECT_EQ(now.wDayOfWeek, 4);  // leap day 2024 was a Thursday
  EXPECT_EQ(now.wMinute, 5);

  winsim::Reset();  // back to the real clock
  time_t t = time(nullptr);
  tm lt;
  localtime_r(&t, &lt);
  GetLocalTime(&now);
  EXPECT_EQ(now.wYear, lt.tm_year + 1900);
  EXPECT_EQ(now.wDayOfWeek, lt.tm_wday);
}

TEST_F(Kernel, TickCountAndIdentity) {
  DWORD t0 = GetTickCount();
  Sleep(20);
  EXPECT_GE(GetTickCount() - t0, 20u);
  DWORD main = GetCurrentThreadId(), other = 0;
  std::thread([&] { other = GetCurrentThreadId(); }).join();
  EXPECT_NE(main, other);
  EXPECT_EQ(GetCurrentProcessId(), DWORD(getpid()));
}

}  // namespace
