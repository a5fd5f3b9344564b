// lbl preview and lbl stock: the label stock preview as a PNG picture and the printer's label stocks,
// through the functions of the Page Setup page and the stock editor.
#pragma once

#include <string>
#include <vector>

#include "tools/command_help.h"

namespace lbl {

CommandSpec PreviewCommand();
CommandSpec StockCommand();

int RunPreview(const std::vector<std::string>& args);
int RunStock(const std::vector<std::string>& args);

}  // namespace lbl
