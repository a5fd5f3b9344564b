// The daily log file: naming, line format, removal of the file of three days before, and the lock check.
#include <regex>
#include <thread>

#include "monitor_test_util.h"

using namespace montest;

namespace {

class LogTest : public MonitorTest {};

void Touch(const std::u16string& path) { winsim::WriteHostFile(path, "x", 1); }
bool Exists(const std::u16string& path) { return GetFileAttributesW(ToWString(path.c_str()).c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST_F(LogTest, LineHasLocalTimeThreadIdAndMessage) {
  winsim::SetLocalTime(Time(2024, 2, 4, 9, 5, 3, 7));
  MonLog(TEXT("Job %d on %ws\n"), 12, TEXT("USB001"));
  auto lines = FileLines(u"c:\\prtmonlog\\mon_2024-2-4.log");
  ASSERT_EQ(lines.size(), 1u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, std::regex(R"(2024-2-4 09:05:03\.(\d{3})\t\[(\d+)\]:Job 12 on USB001)")))
      << lines[0];
  EXPECT_GE(std::stoi(m[1]), 7);
  EXPECT_EQ(std::stoul(m[2]), GetCurrentThreadId());
  // The line ends as text mode writes "\n".
  auto bytes = winsim::ReadHostFile(u"c:\\prtmonlog\\mon_2024-2-4.log");
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[bytes.size() - 2], '\r');
  EXPECT_EQ(bytes.back(), '\n');
}

TEST_F(LogTest, MessagesFromManyThreadsNeverMix) {
  constexpr int kThreads = 4, kEach = 100;
  auto writer = [](int t) {
    // Long messages of one letter each: a line that mixes two threads shows two letters.
    WString text(300, WCHAR('a' + t));
    for (int i = 0; i < kEach; ++i) MonLog(TEXT("%ws %d\n"), text.c_str(), i);
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(writer, t);
  for (auto& t : threads) t.join();
  auto messages = Log();
  ASSERT_EQ(messages.size(), size_t(kThreads * kEach));
  int perThread[kThreads] = {};
  for (const auto& m : messages) {
    ASSERT_GE(m.size(), 302u);
    const char c = m[0];
    ASSERT_TRUE(c >= 'a' && c < 'a' + kThreads) << m;
    EXPECT_EQ(m.find_first_not_of(c), 300u) << m;
    ++perThread[c - 'a'];
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(perThread[t], kEach);
}

TEST_F(LogTest, FileNamesAreUnpaddedDates) {
  WCHAR name[MAX_PATH];
  LogFileName(2024, 2, 4, name, MAX_PATH);
  EXPECT_EQ(WideToUtf8(name), "c:\\prtmonlog\\mon_2024-2-4.log");
  LogFileName(2023, 12, 31, name, MAX_PATH);
  EXPECT_EQ(WideToUtf8(name), "c:\\prtmonlog\\mon_2023-12-31.log");
}

TEST_F(LogTest, EachDayHasItsOwnFile) {
  winsim::SetLocalTime(Time(2024, 2, 4, 23, 59, 59, 900));
  MonLog(TEXT("late\n"));
  winsim::SetLocalTime(Time(2024, 2, 5, 0, 0, 1, 0));
  MonLog(TEXT("early\n"));
  EXPECT_EQ(Messages(LogPath(2024, 2, 4)), std::vector<std::string>{"late"});
  EXPECT_EQ(Messages(LogPath(2024, 2, 5)), std::vector<std::string>{"early"});
}

TEST_F(LogTest, EveryMessageRemovesOnlyTheFileOfThreeDaysBefore) {
  CreateDirectoryW(LBLMON_FOLDER, nullptr);
  for (int d : {31}) Touch(LogPath(2024, 1, d));
  for (int d : {1, 2, 3}) Touch(LogPath(2024, 2, d));
  winsim::SetLocalTime(Time(2024, 2, 4));
  MonLog(TEXT("one\n"));
  EXPECT_FALSE(Exists(LogPath(2024, 2, 1)));
  EXPECT_TRUE(Exists(LogPath(2024, 1, 31))) << "older files stay";
  EXPECT_TRUE(Exists(LogPath(2024, 2, 2)));
  EXPECT_TRUE(Exists(LogPath(2024, 2, 3)));
  winsim::SetLocalTime(Time(2024, 2, 5));
  MonLog(TEXT("two\n"));
  EXPECT_FALSE(Exists(LogPath(2024, 2, 2)));
  EXPECT_TRUE(Exists(LogPath(2024, 2, 3)));
  EXPECT_TRUE(Exists(LogPath(2024, 2, 4)));
}

TEST_F(LogTest, RemovalCrossesMonthAndYearBoundaries) {
  struct Case {
    SYSTEMTIME now;
    WORD y, m, d;  // the file that goes
  } cases[] = {
      {Time(2025, 1, 2), 2024, 12, 30}, {Time(2024, 3, 2), 2024, 2, 28}, {Time(2023, 3, 2), 2023, 2, 27},
      {Time(2024, 3, 1), 2024, 2, 27},  {Time(2000, 3, 1), 2000, 2, 27}, {Time(2100, 3, 1), 2100, 2, 26},
      {Time(2024, 5, 1), 2024, 4, 28},
  };
  CreateDirectoryW(LBLMON_FOLDER, nullptr);
  for (const auto& c : cases) {
    Touch(LogPath(c.y, c.m, c.d));
    winsim::SetLocalTime(c.now);
    MonLog(TEXT("tick\n"));
    EXPECT_FALSE(Exists(LogPath(c.y, c.m, c.d))) << c.y << "-" << c.m << "-" << c.d;
  }
}

TEST_F(LogTest, LongMessagesAreCutAt1024CharactersAndEndTheirLine) {
  std::u16string longText(2000, u'a');
  WString text = ToWString(longText.c_str());
  MonLog(TEXT("%ws\n"), text.c_str());
  MonLog(TEXT("next\n"));
  auto messages = Log();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], std::string(1023, 'a'));
  EXPECT_EQ(messages[1], "next");
}

TEST_F(LogTest, KeepsTheCallersLastError) {
  SetLastError(ERROR_INVALID_PRINT_MONITOR);
  MonLog(TEXT("message\n"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINT_MONITOR));
}

TEST_F(LogTest, ALostLineIsSilent) {
  // A folder where the day's file should be: the line cannot be written, nothing else happens.
  CreateDirectoryW(LBLMON_FOLDER, nullptr);
  CreateDirectoryW(ToWString(LogPath(2024, 2, 4).c_str()).c_str(), nullptr);
  SetLastError(0);
  MonLog(TEXT("lost\n"));
  EXPECT_EQ(GetLastError(), 0u);
}

TEST_F(LogTest, LeavingTheLockWithoutOwningItIsLogged) {
  EnterMonitorLock();
  EnterMonitorLock();
  EXPECT_TRUE(MonitorLockHeld());
  LeaveMonitorLock();
  EXPECT_TRUE(MonitorLockHeld()) << "the lock is recursive";
  std::thread other([] {
    EXPECT_FALSE(MonitorLockHeld());
    LeaveMonitorLock();  // not the owner: logged, the lock stays with its owner
  });
  other.join();
  EXPECT_TRUE(MonitorLockHeld());
  LeaveMonitorLock();
  EXPECT_FALSE(MonitorLockHeld());
  EXPECT_EQ(Count("SplInSem: Not in spooler semaphore !!"), 1);
}

}  // namespace
