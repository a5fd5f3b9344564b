// lbl preview and lbl stock: the label stock preview as a PNG picture and the printer's label stocks,
// through the functions of the Page Setup page and the stock editor.
#pragma once

#include "tools/command_help.h"

namespace lbl {

CommandSpec PreviewCommand();
CommandSpec StockCommand();

}  // namespace lbl
