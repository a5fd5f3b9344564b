// Test helpers for windows: in-memory DLGTEMPLATEEX dialogs, a fixture that resets the machine and fails
// a test on unexpected system dialogs, and a message log for dialog procedures.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <commctrl.h>
#include <windows.h>

#include "winsim/machine.h"
#include "winsim/ui.h"

namespace dlgtest {

// Builds a DLGTEMPLATEEX the way the resource compiler lays it out.
class Template {
 public:
  Template(DWORD style, const std::u16string& title, short cx = 200, short cy = 120, WORD pointSize = 8) {
    Word(1), Word(0xFFFF), Dword(0), Dword(0), Dword(style | DS_SETFONT);
    countAt_ = b_.size();
    Word(0);
    Word(0), Word(0), Word(WORD(cx)), Word(WORD(cy));
    Word(0), Word(0);  // no menu, the dialog class
    Sz(title);
    Word(pointSize), Word(400), Word(0x0100);  // normal weight, not italic, charset 1
    Sz(u"MS Shell Dlg");
  }
  // cls: a class name, or one of the predefined ordinals through the overload below.
  Template& Item(const std::u16string& cls, int id, DWORD style, const std::u16string& text = u"", short x = 0,
                 short y = 0, short cx = 50, short cy = 14) {
    Begin(id, style, x, y, cx, cy);
    Sz(cls);
    return End(text);
  }
  Template& Item(WORD ordinal, int id, DWORD style, const std::u16string& text = u"", short x = 0, short y = 0,
                 short cx = 50, short cy = 14) {
    Begin(id, style, x, y, cx, cy);
    Word(0xFFFF), Word(ordinal);
    return End(text);
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(b_.data()); }
  const std::vector<BYTE>& bytes() const { return b_; }

 private:
  void Begin(int id, DWORD style, short x, short y, short cx, short cy) {
    while (b_.size() % 4) b_.push_back(0);
    Dword(0), Dword(0), Dword(style | WS_CHILD | WS_VISIBLE);
    Word(WORD(x)), Word(WORD(y)), Word(WORD(cx)), Word(WORD(cy));
    Dword(DWORD(id));
    WORD n;
    std::memcpy(&n, &b_[countAt_], 2);
    ++n;
    std::memcpy(&b_[countAt_], &n, 2);
  }
  Template& End(const std::u16string& text) {
    Sz(text);
    Word(0);
    return *this;
  }
  void Word(WORD w) { b_.insert(b_.end(), reinterpret_cast<BYTE*>(&w), reinterpret_cast<BYTE*>(&w) + 2); }
  void Dword(DWORD d) { b_.insert(b_.end(), reinterpret_cast<BYTE*>(&d), reinterpret_cast<BYTE*>(&d) + 4); }
  void Sz(const std::u16string& s) {
    for (char16_t c : s) Word(c);
    Word(0);
  }
  std::vector<BYTE> b_;
  size_t countAt_ = 0;
};

constexpr WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kListBox = 0x83, kComboBox = 0x85;

// Each test starts on a fresh machine; a system dialog nobody answered fails it.
class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    winsim::ui::SetUnexpectedHook([](const std::string& what) { ADD_FAILURE() << "unanswered: " << what; });
  }
  void TearDown() override {
    winsim::ui::SetUnexpectedHook(nullptr);
    winsim::Reset();
  }
};

// What a dialog procedure saw: "WM_COMMAND 1001/768" style entries, in order.
struct Log {
  std::vector<std::string> lines;
  void Add(std::string s) { lines.push_back(std::move(s)); }
  bool Has(const std::string& s) const {
    for (auto& l : lines)
      if (l == s) return true;
    return false;
  }
  size_t Count(const std::string& s) const {
    size_t n = 0;
    for (auto& l : lines) n += l == s;
    return n;
  }
};

inline std::string Cmd(int id, int code) { return "cmd " + std::to_string(id) + "/" + std::to_string(code); }
inline std::string Note(int id, UINT code) { return "note " + std::to_string(id) + "/" + std::to_string(int(code)); }

// A dialog procedure that logs commands and notifications into the Log passed as init parameter.
inline INT_PTR CALLBACK LoggingProc(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_INITDIALOG) {
    SetWindowLongPtrW(h, DWLP_USER, lp);
    return TRUE;
  }
  auto* log = reinterpret_cast<Log*>(GetWindowLongPtrW(h, DWLP_USER));
  if (!log) return FALSE;
  if (m == WM_COMMAND) log->Add(Cmd(LOWORD(wp), HIWORD(wp)));
  if (m == WM_NOTIFY) {
    auto* n = reinterpret_cast<NMHDR*>(lp);
    log->Add(Note(int(n->idFrom), n->code));
  }
  if (m == WM_TIMER) log->Add("timer " + std::to_string(wp));
  if (m == WM_HSCROLL || m == WM_VSCROLL) log->Add("scroll " + std::to_string(LOWORD(wp)) + "@" + std::to_string(HIWORD(wp)));
  return FALSE;
}

}  // namespace dlgtest
