// A simulated machine with the driver package in "C:\pkg\" (the generated INF, stand-in DLL files and the
// data file) and an Engine whose host records the result log, questions and started programs. Runs that
// wait (polls, the pause after deleting a printer) go through RunWork on a work thread while the test
// moves the virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "installer/engine.h"
#include "winsim/clock.h"
#include "winsim/machine.h"
#include "winsim/spooler.h"

class EngineFixture : public ::testing::Test {
 public:
  void SetUp() override {
    winsim::Reset();
    winsim::UseVirtualClock();
    std::ifstream in(LBL_TEST_INF, std::ios::binary);
    std::string inf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(inf.empty()) << LBL_TEST_INF;
    Put(u"C:\\pkg\\lblv6.inf", inf);
    for (auto f : {u"lbldrv6.dll", u"lbldrv6ui.dll", u"lblmon.dll"}) Put(u"C:\\pkg\\amd64\\" + std::u16string(f), "MZ");
    Put(u"C:\\pkg\\dat\\lbldrv6.dat", "DAT");
    WStrCopy(engine.installerDir, MAX_PATH, TEXT("C:\\pkg\\"));
    engine.host.appendLog = [this](const WCHAR* line) {
      std::lock_guard<std::mutex> l(m);
      log += WideToUtf8(line);
    };
    engine.host.ask = [this](UINT text, UINT, UINT) {
      std::lock_guard<std::mutex> l(m);
      questions.push_back(text);
      return answer;
    };
    engine.host.startProcess = [this](const WCHAR* cmd) {
      std::lock_guard<std::mutex> l(m);
      commands.push_back(WideToUtf8(cmd));
      return true;
    };
  }

  void TearDown() override {
    if (HasFailure())
      for (const auto& line : winsim::DebugLines()) std::printf("debug: %s\n", line.c_str());
  }

  static void Put(const std::u16string& path, const std::string& bytes) {
    ASSERT_TRUE(winsim::WriteHostFile(path, bytes.data(), bytes.size()));
  }
  // A driver of another vendor, registered directly with the spooler.
  static void AddForeignDriver(const std::u16string& name, const std::u16string& driver, const std::u16string& data,
                               const std::u16string& config) {
    winsim::AddDriver({.name = name, .driverPath = driver, .dataFile = data, .configFile = config});
  }
  static bool Exists(const std::u16string& path) {
    return GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.c_str())) != INVALID_FILE_ATTRIBUTES;
  }

  // Runs fn on a work thread, moving the virtual clock whenever it waits; returns the virtual ms it took.
  uint64_t RunWork(const std::function<void()>& fn) {
    const uint64_t start = winsim::ClockNow();
    winsim::RunOnClockedThread(fn);
    return winsim::ClockNow() - start;
  }

  static InstallRecord Record(const WCHAR* model, const WCHAR* printer, const WCHAR* port, WORD type = kPortTypeOther) {
    InstallRecord r{};
    WStrCopy(r.model, 260, model);
    WStrCopy(r.printerName, 260, printer);
    WStrCopy(r.portName, 260, port);
    r.portType = type;
    return r;
  }

  // `took`, when given, receives the virtual ms the run took.
  bool Install(InstallRecord& r, uint64_t* took = nullptr) {
    bool ok = false;
    const uint64_t ms = RunWork([&] { ok = InstallRun(engine, r); });
    if (took) *took = ms;
    return ok;
  }

  std::string Log() {
    std::lock_guard<std::mutex> l(m);
    return log;
  }
  void ClearLog() {
    std::lock_guard<std::mutex> l(m);
    log.clear();
    questions.clear();
    commands.clear();
  }
  bool DebugHas(const std::string& text) {
    for (const auto& line : winsim::DebugLines())
      if (line.find(text) != std::string::npos) return true;
    return false;
  }

  Engine engine;
  std::mutex m;
  std::string log;
  std::vector<UINT> questions;
  std::vector<std::string> commands;
  int answer = IDNO;
  const std::u16string driverDir = u"C:\\Windows\\System32\\spool\\DRIVERS\\x64\\";
};
