#include "render/module.h"

namespace {
HMODULE g_module = nullptr;
}  // namespace

HMODULE RenderModule() { return g_module; }

void SetRenderModule(HMODULE instance) { g_module = instance; }
