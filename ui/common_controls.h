// Common Controls 6 for the driver's pages. The DLL carries its own manifest (RT_MANIFEST, id 2) binding
// Common Controls 6; the spooler, printui and applications that load the DLL keep whatever version their
// own manifests ask for, so the pages are made in the DLL's activation context instead.
#pragma once

#include "common/platform.h"

#include <prsht.h>

// The activation context of the DLL's manifest, made once per process; on first use it also registers
// the trackbar, up-down and progress classes of the manifest's comctl32 (InitCommonControlsEx).
// Null when the manifest cannot be read: the pages then get the process's controls.
HANDLE UiActivationContext();
// A page added through compstui is created with the DLL's activation context active (the sheet also
// tells compstui the context with CPSFUNC_SET_FUSION_CONTEXT, for what it makes itself).
void UseUiActivationContext(PROPSHEETPAGEW* page);
// At DLL_PROCESS_DETACH on FreeLibrary (no page of the DLL is open then): drops the context.
void ReleaseUiActivationContext();
