// The parts of the GDI engine a printer graphics driver calls, for a driver loaded into an ordinary
// process (Wine's gdi32 exports no Eng* functions), and the import patching that hands them to it.
#pragma once

#include <windows.h>
#include <winddi.h>

#include <cstdint>
#include <string>
#include <vector>

namespace winecheck {

// One engine-managed bitmap: a top-down 24-bit DIB section, so GDI can draw into the very bits the
// driver reads.
struct EngineSurface {
  SURFOBJ so;
  HBITMAP dib;
  HDEV hdev;
  FLONG hooks;
  bool associated;
};

// The engine's device record behind the HDEV that DrvCompletePDEV receives.
struct EngineDevice {
  DHPDEV dhpdev;
};

// Replaces every import of `name` (from any DLL) in `module` with `fn`; the count replaced.
int PatchImport(HMODULE module, const char* name, void* fn);
// Names of the functions `module` imports from `dll` (case-insensitive DLL name).
std::vector<std::string> ImportedNames(HMODULE module, const char* dll);

// Patches the engine functions and WritePrinter (recorded, then passed on) into the rendering DLL.
// False, with the names in `missing`, when the DLL imports an Eng* function this engine lacks.
bool PatchEngine(HMODULE module, std::string* missing);

// What WritePrinter received since the last reset, and the calls.
std::vector<uint8_t>& WrittenBytes();
unsigned& WriteCalls();

EngineSurface* SurfaceFromHandle(HSURF surface);
int LiveSurfaces();
int LivePalettes();

}  // namespace winecheck
