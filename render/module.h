// The module instance of lbldrv6.
#pragma once

#include "common/platform.h"

// The instance DllMain received; the model catalogue is looked up in its resources.
HMODULE RenderModule();
void SetRenderModule(HMODULE instance);
