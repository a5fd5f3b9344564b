// lbl sample: the Graphics Property page's sample picture after a dithering method, contrast and
// brightness, as PNG, so that the methods can be compared by eye.
#pragma once

#include "tools/command_help.h"

namespace lbl {

CommandSpec SampleCommand();

}  // namespace lbl
