#include "ipp/media_names.h"

#include <cups/cups.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "common/paper.h"

namespace lblipp {

std::string StockPwgName(const std::string& stockName, int32_t width, int32_t length, bool standard) {
  const int w = (width + 5) / 10, l = (length + 5) / 10;  // hundredths of a millimetre
  if (pwg_media_t* pwg = standard ? pwgMediaForSize(w, l) : nullptr;
      pwg && pwg->pwg && std::abs(pwg->width - w) <= 10 && std::abs(pwg->length - l) <= 10 &&
      std::string(pwg->pwg).rfind("custom_", 0) != 0)
    return pwg->pwg;
  std::string slug;
  for (unsigned char c : stockName) {
    if (std::isalnum(c))
      slug += char(std::tolower(c));
    else if (!slug.empty() && slug.back() != '-')
      slug += '-';
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  if (slug.empty()) slug = "stock";
  char name[128];
  if (!pwgFormatSizeName(name, sizeof name, "custom", slug.c_str(), w, l, nullptr)) return "custom_" + slug;
  return name;
}

const char* MediaTypeKeyword(uint32_t mediaType) {
  switch (mediaType & kPaperMediaMask) {
    case kPaperBlackMark: return "labels-black-mark";
    case kPaperContinuous: return "continuous";
    case kPaperContinuousUnfixed: return "continuous-long";
  }
  return "labels";
}

uint32_t MediaTypeFromKeyword(const std::string& keyword) {
  for (uint32_t t : {kPaperGap, kPaperBlackMark, kPaperContinuous, kPaperContinuousUnfixed})
    if (keyword == MediaTypeKeyword(t)) return t;
  return 0;
}

void NameStocks(ModelFacts* facts) {
  std::vector<StockFacts>& stocks = facts->stocks;
  for (size_t i = 0; i < stocks.size(); ++i) {
    StockFacts& s = stocks[i];
    s.pwgName = StockPwgName(s.name, s.width, s.length);
    if (std::any_of(stocks.begin(), stocks.begin() + ptrdiff_t(i), [&](const StockFacts& o) { return o.pwgName == s.pwgName; }))
      s.pwgName = StockPwgName(s.name, s.width, s.length, false);
  }
}

}  // namespace lblipp
