// The model catalogue JSON, generated at build time from catalogue.in.json by catgen.
// The Windows DLLs carry the same text as resource "JSON" 119; this array serves the builds
// and tools that have no resource section.
#pragma once

extern "C" const unsigned char g_CatalogueJson[];   // UTF-8, no byte-order mark
extern "C" const unsigned int g_CatalogueJsonSize;  // bytes, without the terminator that follows them
