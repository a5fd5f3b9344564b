// The lbl commands that show the records the driver builds: model, defaults and models.
#pragma once

#include "tools/command_help.h"

struct PaperRecord;

namespace lbl {

class JsonOut;

// The members of a paper record as lbl model lists them; a stock list (`stock`) leaves out the index
// and the top and bottom margins.
void WritePaperMembers(JsonOut& j, const PaperRecord& p, bool stock);

CommandSpec ModelCommand();
CommandSpec DefaultsCommand();
CommandSpec ModelsCommand();

}  // namespace lbl
