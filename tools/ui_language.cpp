#include "tools/ui_language.h"

#include "tools/exit_status.h"
#include "tools/job_options.h"
#include "winsim/resources.h"

namespace lbl {
namespace {

struct Language {
  const char* name;
  LANGID id;
};
// Simplified Chinese (PRC), Korean, Russian, English (United States): the blocks the resources carry.
constexpr Language kLanguages[] = {{"en", 0x0409}, {"zh", 0x0804}, {"ko", 0x0412}, {"ru", 0x0419}};

LANGID g_language = 0x0409;

}  // namespace

LANGID UiLanguageByName(const std::string& name) {
  for (const Language& l : kLanguages)
    if (name == l.name) return l.id;
  return 0;
}

int TakeUiLanguageOption(std::vector<std::string>* args) {
  return TakeGlobalOption(args, "--ui-language", "--ui-language needs a language: en, zh, ko or ru",
                          [](const std::string& value) {
                            const LANGID id = UiLanguageByName(value);
                            if (!id) return Usage("unknown user-interface language '" + value + "' (en, zh, ko or ru)");
                            g_language = id;
                            return 0;
                          });
}

void ApplyUiLanguage() { winsim::SetUserUiLanguage(g_language); }

const char* UiLanguageHelp() {
  return "Option of every command: --ui-language en|zh|ko|ru shows the driver's and the installer's texts\n"
         "in that user-interface language (English by default), as Windows set to it would.\n";
}

}  // namespace lbl
