// Resource identifiers of lblinst32 (shared by lblinst32.rc, wizard.rc and the code).
#pragma once

// ---- string table ----
#define IDS_MODE_TITLE 104
#define IDS_MODE_SUBTITLE 105
#define IDS_INSTALL_TITLE 106
#define IDS_INSTALL_SUBTITLE 107
#define IDS_UNINSTALL_TITLE 108
#define IDS_UNINSTALL_SUBTITLE 109
#define IDS_UNINSTALL_PROMPT 110
#define IDS_UPGRADE_TITLE 111
#define IDS_AGREEMENT_TITLE 112
#define IDS_AGREEMENT_SUBTITLE 113
#define IDS_COLUMN_PORT 114
#define IDS_COLUMN_DESCRIPTION 115
#define IDS_COLUMN_PRINTER 116
#define IDS_COLUMN_MODEL 117
#define IDS_RESULT_TITLE 118
#define IDS_RESULT_SUBTITLE 119
#define IDS_INSTALL_WAIT 120
#define IDS_UNINSTALL_WAIT 121
#define IDS_INSTALL_COMPLETE 122
#define IDS_UNINSTALL_COMPLETE 123
#define IDS_FORCE_REMOVE 124
#define IDS_PROMPT 125
#define IDS_PORT_UNAVAILABLE 126
#define IDS_PORT_SETTING 127
#define IDS_CHOOSE_PORT 128
#define IDS_INSTALLING 129
#define IDS_INSTALL_OK 130
#define IDS_INSTALL_FAILED 131
#define IDS_REMOVE_PRINTER 132
#define IDS_DELETE_PACKAGE 133
#define IDS_REBOOT_QUESTION 134
#define IDS_REBOOT_CAPTION 135
#define IDS_REMOVE_DRIVER 136
#define IDS_UNSUPPORTED_PRINTER 137
#define IDS_UPGRADE_SUBTITLE 138
#define IDS_COLUMN_VERSION 139
#define IDS_UPGRADING 140
#define IDS_UPGRADE_OK 141
#define IDS_UPGRADE_FAILED 142
#define IDS_OK 143
#define IDS_FAILED 144
#define IDS_INPUT_IP 145
#define IDS_NEEDS_ADMIN 146

// ---- wizard pages (dialog templates) ----
#define IDD_MODE 129
#define IDD_INSTALL 131
#define IDD_UNINSTALL 132
#define IDD_AGREEMENT 134
#define IDD_RESULT 135
#define IDD_UPGRADE 136

// The program's one icon: the sheet's and the executable's.
#define IDI_LBLINST32 135
// The licence shown on the agreement page (UTF-8 text).
#define IDR_LICENCE 200

// ---- controls ----
#define IDC_INSTALL_MODE 1002
#define IDC_UNINSTALL_MODE 1003
#define IDC_UPGRADE_MODE 1004
#define IDC_MODEL_LIST 1006
#define IDC_PORT_LIST 1008        // install page: ports; uninstall page: printers
#define IDC_AGREEMENT_TEXT 1009
#define IDC_ACCEPT 1011
#define IDC_DISAGREE 1012
#define IDC_PRINTER_NAME 1013
#define IDC_SET_DEFAULT 1014
#define IDC_TCP_PORT 1015
#define IDC_RESULT_LOG 1019
#define IDC_UPGRADE_LIST 1021
#define IDC_DELETE_PRINTER 1022
#define IDC_REMOVE_DRIVER 1023    // uninstall page
#define IDC_UPGRADE_STATUS 1023   // upgrade page
#define IDC_DELETE_PORT 1025
#define IDC_PORT_USB 1027
#define IDC_IP_ADDRESS 1028
#define IDC_PORT_SETTINGS 1029    // install page
#define IDC_REMOVE_PACKAGE 1029   // uninstall page
#define IDC_PORT_NET 1030
#define IDC_PORT_COM 1031
#define IDC_PORT_OTHERS 1032
#define IDC_IP_LABEL 1033
#define IDC_TCP_LABEL 1034
#define IDC_CONNECT_HINT 1037
#define IDC_PORT_LPT 1038
