// Debug lines of the driver DLLs.
#pragma once

#include "common/platform.h"

// Formats (Windows printf conventions, see wstr.h), appends "\r\n" and sends it to the debugger.
void DbgPrint(LPCWSTR fmt, ...);
