// The installer's own list of supported models. The checksum is the CRC-16/ARC of vendor name
// followed directly by model name: the model's "PnP ID" and the tail of its USB hardware ID.
#pragma once

#include <cstdint>

#include "common/crc16.h"
#include "common/product.h"

struct ModelTableRow {
  const char* vendor;
  const char* model;
  const char* vendorModel;  // vendor and model without a space
  uint16_t checksum;
};

#define LBL_MODEL_ROW(v, m) {v, m, v m, Crc16ArcText(v m)}

inline constexpr ModelTableRow kModelTable[] = {
    LBL_MODEL_ROW(LBL_PROVIDER, "TW-KA_"), LBL_MODEL_ROW(LBL_PROVIDER, "TW-KB_"), LBL_MODEL_ROW(LBL_PROVIDER, "TW-KC_"),
    LBL_MODEL_ROW(LBL_PROVIDER, "TW-KD_"), LBL_MODEL_ROW(LBL_PROVIDER, "TW-KE_"), LBL_MODEL_ROW(LBL_PROVIDER, "TW-JA"),
    LBL_MODEL_ROW(LBL_PROVIDER, "TW-JB"),  {LBL_PROVIDER, "", "", 0},
};

#undef LBL_MODEL_ROW
