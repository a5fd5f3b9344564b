#include "tools/progress.h"

#include <unistd.h>

namespace lbl {

Progress::Progress(FILE* out) : Progress(out, isatty(fileno(out)) == 1) {}

Progress::Progress(FILE* out, bool enabled) : out_(out), enabled_(enabled) {}

Progress::~Progress() { End(); }

void Progress::Show(const std::string& what, int done, int total) {
  if (!enabled_) return;
  const std::string line = "lbl: " + what + " " + std::to_string(done) + " of " + std::to_string(total) +
                           (total == 1 ? " page" : " pages");
  if (line == last_) return;
  // \r and erase-to-end: a shorter line leaves nothing of the longer one behind.
  std::fprintf(out_, "\r%s\x1b[K", line.c_str());
  std::fflush(out_);
  last_ = line;
  open_ = true;
}

void Progress::End() {
  if (!open_) return;
  std::fputc('\n', out_);
  std::fflush(out_);
  open_ = false;
  last_.clear();
}

}  // namespace lbl
