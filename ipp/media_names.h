// The IPP names of a printer's paper: media keywords of its stocks and media-type keywords of the
// paper types.
#pragma once

#include <cstdint>
#include <string>

#include "ipp/model_facts.h"

namespace lblipp {

// The IPP media keyword of a stock: a standard PWG size name when one has the stock's size (to a tenth
// of a millimetre) and `standard` allows it, else a self-describing custom name made from the stock's
// name and size.
std::string StockPwgName(const std::string& stockName, int32_t width, int32_t length, bool standard = true);

// media-type keywords of the paper types: "labels" (gap), "labels-black-mark", "continuous",
// "continuous-long" (continuous of unfixed length).
const char* MediaTypeKeyword(uint32_t mediaType);
uint32_t MediaTypeFromKeyword(const std::string& keyword);  // 0 for another keyword

// Gives every stock of `facts` its media keyword; of two stocks of one size the later gets a name
// made from its own.
void NameStocks(ModelFacts* facts);

}  // namespace lblipp
