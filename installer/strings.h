// The installer's string table (English), identifiers as in lblinst32.rc. Every message of the engine
// and the wizard goes through InstallerString, so loading them with LoadStringW is one change here.
#pragma once

#include "common/platform.h"

enum InstallerStringId : UINT {
  IDS_UNINSTALL_PROMPT = 110,
  IDS_FORCE_REMOVE = 124,
  IDS_PROMPT = 125,
  IDS_INSTALLING = 129,
  IDS_INSTALL_OK = 130,
  IDS_INSTALL_FAILED = 131,
  IDS_REMOVE_PRINTER = 132,
  IDS_DELETE_PACKAGE = 133,
  IDS_REBOOT_QUESTION = 134,
  IDS_REBOOT_CAPTION = 135,
  IDS_REMOVE_DRIVER = 136,
  IDS_UPGRADING = 140,
  IDS_UPGRADE_OK = 141,
  IDS_UPGRADE_FAILED = 142,
  IDS_OK = 143,
  IDS_FAILED = 144,
};

// The text of a string-table entry; "" for an unknown identifier.
const WCHAR* InstallerString(UINT id);
