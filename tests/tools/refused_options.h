// The refusals of the lbl commands' option parsers, shared by the tests of each option set.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lbltest {

// Every argument list in `bad` is refused with a message.
template <class Options>
void ExpectEachRefused(const std::vector<std::vector<std::string>>& bad,
                       bool (*parse)(std::vector<std::string>* args, Options* out, std::string* error)) {
  for (auto args : bad) {
    Options o;
    std::string error;
    EXPECT_FALSE(parse(&args, &o, &error)) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace lbltest
