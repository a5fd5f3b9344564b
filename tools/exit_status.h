// How the lbl commands end: 0 success, 1 failure, 2 usage error, with the message on stderr.
#pragma once

#include <cstdio>
#include <string>

namespace lbl {

inline int Usage(const std::string& msg) {
  std::fprintf(stderr, "lbl: %s\n", msg.c_str());
  return 2;
}

inline int Fail(const std::string& msg) {
  std::fprintf(stderr, "lbl: %s\n", msg.c_str());
  return 1;
}

}  // namespace lbl
