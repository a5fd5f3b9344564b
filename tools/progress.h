// Progress of a long lbl print on stderr: one line rewritten in place, and only on a terminal,
// so scripts and logs that capture stderr get warnings and errors alone.
#pragma once

#include <cstdio>
#include <string>

namespace lbl {

class Progress {
 public:
  // Shows on `out` when `enabled`; by default when `out` is a terminal.
  explicit Progress(FILE* out = stderr);
  Progress(FILE* out, bool enabled);
  ~Progress();

  bool Enabled() const { return enabled_; }
  // "lbl: rendered 3 of 10 pages", replacing the line shown before.
  void Show(const std::string& what, int done, int total);
  // Ends the line, so what follows starts on its own.
  void End();

 private:
  FILE* out_;
  bool enabled_;
  bool open_ = false;
  std::string last_;
};

}  // namespace lbl
