#include "ipp/job_mapping.h"

#include <algorithm>
#include <cstdlib>

#include "common/devmode.h"
#include "common/paper.h"
#include "ipp/media_names.h"

namespace lblipp {

namespace {

std::optional<int> Integer(const AttributeLookup& find, const char* name, ipp_tag_t tag, int lo, int hi) {
  ipp_attribute_t* a = find(name);
  if (!a || ippGetValueTag(a) != tag || ippGetCount(a) != 1) return std::nullopt;
  const int v = ippGetInteger(a, 0);
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

std::string Keyword(const AttributeLookup& find, const char* name) {
  ipp_attribute_t* a = find(name);
  if (!a || ippGetCount(a) != 1) return {};
  const ipp_tag_t tag = ippGetValueTag(a);
  if (tag != IPP_TAG_KEYWORD && tag != IPP_TAG_NAME && tag != IPP_TAG_NAMELANG) return {};
  const char* s = ippGetString(a, 0, nullptr);
  return s && std::char_traits<char>::length(s) < 256 ? s : "";
}

}  // namespace

JobRequest ReadJobRequest(const AttributeLookup& find) {
  JobRequest r;
  if (ipp_attribute_t* col = find("media-col"); col && ippGetValueTag(col) == IPP_TAG_BEGIN_COLLECTION &&
                                                ippGetCount(col) == 1) {
    ipp_t* media = ippGetCollection(col, 0);
    auto inMedia = [media](const char* name) { return ippFindAttribute(media, name, IPP_TAG_ZERO); };
    if (ipp_attribute_t* size = inMedia("media-size"); size && ippGetValueTag(size) == IPP_TAG_BEGIN_COLLECTION) {
      ipp_t* s = ippGetCollection(size, 0);
      ipp_attribute_t* x = ippFindAttribute(s, "x-dimension", IPP_TAG_INTEGER);
      ipp_attribute_t* y = ippFindAttribute(s, "y-dimension", IPP_TAG_INTEGER);
      if (x && y && ippGetInteger(x, 0) > 0 && ippGetInteger(y, 0) > 0 && ippGetInteger(x, 0) <= 1000000 &&
          ippGetInteger(y, 0) <= 1000000) {
        r.mediaWidth = ippGetInteger(x, 0);
        r.mediaLength = ippGetInteger(y, 0);
      }
    }
    r.mediaName = Keyword(inMedia, "media-size-name");
    r.mediaType = Keyword(inMedia, "media-type");
  } else {
    r.mediaName = Keyword(find, "media");
  }
  if (!r.mediaName.empty() && !r.mediaWidth) {
    if (pwg_media_t* pwg = pwgMediaForPWG(r.mediaName.c_str())) {
      r.mediaWidth = pwg->width;
      r.mediaLength = pwg->length;
    }
  }
  r.copies = Integer(find, "copies", IPP_TAG_INTEGER, 1, 32767).value_or(0);
  r.orientation = Integer(find, "orientation-requested", IPP_TAG_ENUM, 3, 6).value_or(0);
  r.colorMode = Keyword(find, "print-color-mode");
  r.dithering = Keyword(find, kDitheringAttribute);
  r.darkness = Integer(find, "print-darkness", IPP_TAG_INTEGER, -100, 100);
  r.speed = Integer(find, "print-speed", IPP_TAG_INTEGER, 0, 1000000);
  r.quality = Integer(find, "print-quality", IPP_TAG_ENUM, 3, 5).value_or(0);
  return r;
}

std::vector<std::string> SupportedLabelModes(const ModelFacts& f) {
  std::vector<std::string> modes = {"tear-off"};
  if (f.peeler) modes.push_back("peel-off");
  if (f.cutter) {
    modes.push_back("cutter");
    modes.push_back("cutter-delayed");
  }
  return modes;
}

std::string LabelModeOfPostAction(uint32_t postAction) {
  switch (postAction) {
    case 2: return "peel-off";
    case 3: case 4: return "cutter";
  }
  return "tear-off";
}

lbl::PrintOptions MapJob(const ModelFacts& f, uint32_t language, const JobRequest& r, std::vector<std::string>* notes) {
  lbl::PrintOptions o;
  o.job.model = f.driver;
  o.language = int(language);
  auto set = [&o](const char* field, long value) { o.set.emplace_back(field, std::to_string(value)); };

  // The paper: a stock of the printer by its media keyword, else by its size (a tenth of a millimetre
  // apart at most, the media type deciding between stocks of one size), else a size of its own.
  const uint32_t type = MediaTypeFromKeyword(r.mediaType);
  const StockFacts* stock = nullptr;
  for (const StockFacts& s : f.stocks)
    if (!r.mediaName.empty() && s.pwgName == r.mediaName) stock = &s;
  if (!stock && r.mediaWidth > 0 && r.mediaLength > 0) {
    for (const StockFacts& s : f.stocks) {
      const bool sameSize = std::abs((s.width + 5) / 10 - r.mediaWidth) <= 10 &&
                            std::abs((s.length + 5) / 10 - r.mediaLength) <= 10;
      if (sameSize && (!stock || (type && s.mediaType == type && stock->mediaType != type))) stock = &s;
    }
  }
  if (stock) {
    o.job.paper = stock->name;
    if (type && stock->mediaType != type)
      notes->push_back("media-type " + r.mediaType + ": the stock \"" + stock->name + "\" is " +
                       MediaTypeKeyword(stock->mediaType));
  } else if (r.mediaWidth > 0 && r.mediaLength > 0) {
    o.job.hasSize = true;
    o.job.widthTenths = std::min((r.mediaWidth + 5) / 10, 32767);
    o.job.lengthTenths = std::min((r.mediaLength + 5) / 10, 32767);
    const long w = long(r.mediaWidth) * 10, l = long(r.mediaLength) * 10;
    if (!((w <= f.maxWidth && l <= f.maxLength) || (l <= f.maxWidth && w <= f.maxLength)) || w < 10000 || l < 10000)
      notes->push_back("media " + std::to_string(r.mediaWidth / 100) + " x " + std::to_string(r.mediaLength / 100) +
                       " mm: outside what " + f.driver + " prints; the printer's paper is used");
  }

  if (r.copies > 0) o.job.copies = r.copies;

  // Orientation: pages the printer application placed are already upright on the media.
  if (r.pagesOriented) {
    if (f.orientation != DMORIENT_PORTRAIT) o.job.orientation = DMORIENT_PORTRAIT;
  } else if (r.orientation) {
    const bool landscape = r.orientation == 4 || r.orientation == 5;
    const bool reversed = r.orientation == 5 || r.orientation == 6;
    o.job.orientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    if (reversed) set("Flags", long(f.flags | 0x80));
  }

  // Dithering: bi-level is the fixed threshold whatever the method.
  if (r.colorMode == "bi-level") {
    set("DitherLevel", 8);
  } else if (!r.dithering.empty()) {
    const auto& methods = DitherMethods();
    auto m = std::find_if(methods.begin(), methods.end(), [&](const DitherMethod& d) { return r.dithering == d.keyword; });
    if (m != methods.end())
      set("DitherLevel", long(m->level));
    else
      notes->push_back(std::string(kDitheringAttribute) + " " + r.dithering + ": no such method");
  }

  if (r.darkness || r.darknessConfigured) {
    const int base = r.darknessConfigured.value_or(DarknessToPercent(f, f.darknessDefault ? f.darknessDefault
                                                                                         : (f.darknessMax + 1) / 2));
    set("Darkness", DarknessFromPercent(f, base + r.darkness.value_or(0)));
  }
  if (r.speed && *r.speed > 0) set("Speed", SpeedFromIpp(f, *r.speed));

  if (r.quality) set("dmPrintQuality", r.quality == 3 ? DMRES_DRAFT : r.quality == 4 ? DMRES_MEDIUM : DMRES_HIGH);

  if (!r.labelMode.empty()) {
    const auto modes = SupportedLabelModes(f);
    if (std::find(modes.begin(), modes.end(), r.labelMode) == modes.end()) {
      notes->push_back("label-mode " + r.labelMode + ": " + f.driver + " has no accessory for it");
    } else {
      set("PostAction", r.labelMode == "tear-off" ? 1 : r.labelMode == "peel-off" ? 2 : 3);
      set("PostActionOccurrence", r.labelMode == "cutter-delayed" ? 1 : 0);
    }
  }
  if (r.tearOffset) set("FeedOffset", long(*r.tearOffset) * 10);
  return o;
}

}  // namespace lblipp
