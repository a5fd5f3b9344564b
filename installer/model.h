// Which models the installer knows: lookups of driver names and device descriptions in the model table.
#pragma once

#include <windows.h>

#include "installer/model_table.h"

// The first table row whose "vendor model" or "vendormodel" text equals `text` exactly (case-sensitive);
// nullptr when none does or text is NULL. A printer belongs to the package when its driver name passes.
const ModelTableRow* FindModel(const WCHAR* text);
