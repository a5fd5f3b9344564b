// lbl --ui-language: the user-interface language of the simulated machine, for every command that
// shows the driver's or the installer's texts (sheets, the wizard, capability names).
#pragma once

#include <string>
#include <vector>

#include "common/platform.h"

namespace lbl {

// The languages the programs carry, by short name: "en", "zh", "ko", "ru"; 0 for any other name.
LANGID UiLanguageByName(const std::string& name);

// Removes "--ui-language NAME" (or "--ui-language=NAME") from the command line, wherever it stands, and
// remembers the language. 0 when absent or valid; otherwise the usage error's exit status.
int TakeUiLanguageOption(std::vector<std::string>* args);

// Gives the freshly reset machine the language the command line asked for (English when none). Every
// command that resets the machine calls it right after winsim::Reset().
void ApplyUiLanguage();

// Gives lbl's own module the installer program's resources, so that the engine's messages come in the
// machine's language as in lblinst32.exe (lbl only: tools/installer_resources.cpp).
void AddInstallerResources();

// One line for 'lbl help'.
const char* UiLanguageHelp();

}  // namespace lbl
