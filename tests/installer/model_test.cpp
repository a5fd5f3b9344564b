#include "installer/model.h"

#include <gtest/gtest.h>

#include "common/wstr.h"

namespace {

const ModelTableRow* Find(const char* text) {
  return FindModel(AnsiToWide(text).c_str());
}

TEST(FindModel, MatchesVendorAndModelWithOrWithoutOneSpace) {
  ASSERT_NE(Find("Tarnwell TW-JA"), nullptr);
  EXPECT_STREQ(Find("Tarnwell TW-JA")->model, "TW-JA");
  EXPECT_EQ(Find("TarnwellTW-JA"), Find("Tarnwell TW-JA"));
  EXPECT_STREQ(Find("Tarnwell TW-KA_")->model, "TW-KA_");
}

TEST(FindModel, ComparesExactlyAndCaseSensitively) {
  EXPECT_EQ(Find("tarnwell tw-ja"), nullptr);
  EXPECT_EQ(Find("Tarnwell  TW-JA"), nullptr);
  EXPECT_EQ(Find("Tarnwell TW-JA "), nullptr);
  EXPECT_EQ(Find("TW-JA"), nullptr);  // a bare description
  EXPECT_EQ(Find("Tarnwell TW-KA"), nullptr);
}

TEST(FindModel, TheEndRowMatchesNothing) {
  EXPECT_EQ(Find("Tarnwell"), nullptr);
  EXPECT_EQ(Find("Tarnwell "), nullptr);
  EXPECT_EQ(Find(""), nullptr);
  EXPECT_EQ(FindModel(nullptr), nullptr);
}

}  // namespace
