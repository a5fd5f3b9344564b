// Resource identifiers of lblinst32 (shared by lblinst32.rc and the code).
#pragma once

#define IDS_UNINSTALL_PROMPT 110
#define IDS_FORCE_REMOVE 124
#define IDS_PROMPT 125
#define IDS_INSTALLING 129
#define IDS_INSTALL_OK 130
#define IDS_INSTALL_FAILED 131
#define IDS_REMOVE_PRINTER 132
#define IDS_DELETE_PACKAGE 133
#define IDS_REBOOT_QUESTION 134
#define IDS_REBOOT_CAPTION 135
#define IDS_REMOVE_DRIVER 136
#define IDS_UPGRADING 140
#define IDS_UPGRADE_OK 141
#define IDS_UPGRADE_FAILED 142
#define IDS_OK 143
#define IDS_FAILED 144
