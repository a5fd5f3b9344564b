/* Templates and control ids of the Page Setup page (106) and the label stock editor (110). Only
   preprocessor lines: the resource compiler reads this file too. */
#pragma once

#define IDD_PAGE_SETUP 106
#define IDD_STOCK_EDITOR 110

/* Page Setup */
#define IDC_PS_STOCK 1001
#define IDC_PS_NEW 1004
#define IDC_PS_EDIT 1009
#define IDC_PS_DELETE 1011
#define IDC_PS_PORTRAIT 1005
#define IDC_PS_LANDSCAPE 1006
#define IDC_PS_PORTRAIT180 1007
#define IDC_PS_LANDSCAPE270 1008
#define IDC_PS_MIRROR 1034
#define IDC_PS_NEGATIVE 1010
#define IDC_PS_SHIFTH 1018
#define IDC_PS_SHIFTH_SPIN 1019
#define IDC_PS_SHIFTV 1020
#define IDC_PS_SHIFTV_SPIN 1021
#define IDC_PS_COPIES 1023
#define IDC_PS_COPIES_SPIN 1024
#define IDC_PS_PRINTWIDTH 1101
#define IDC_PS_PRINTWIDTH_SPIN 1025
#define IDC_PS_SCALE 1102
#define IDC_PS_PREVIEW 1035
#define IDC_PS_UNIT1 1076
#define IDC_PS_UNIT2 1077
/* The page's own "initialised" notification, posted to itself as a command. */
#define IDC_PS_INITIALISED 1025

/* Label stock editor */
#define IDC_SE_NAME 1037
#define IDC_SE_WIDTH 1020
#define IDC_SE_WIDTH_SPIN 1039
#define IDC_SE_LENGTH 1022
#define IDC_SE_LENGTH_SPIN 1040
#define IDC_SE_TYPE 1038
#define IDC_SE_GAP 1024
#define IDC_SE_GAP_SPIN 1045
#define IDC_SE_OFFSET 1025
#define IDC_SE_OFFSET_SPIN 1046
#define IDC_SE_LEFT 1021
#define IDC_SE_LEFT_SPIN 1043
#define IDC_SE_RIGHT 1023
#define IDC_SE_RIGHT_SPIN 1044
#define IDC_SE_LINER_GROUP 1047
#define IDC_SE_PRINT_SETTING 1009
#define IDC_SE_DIRECT 1005
#define IDC_SE_TRANSFER 1006
#define IDC_SE_SPEED 1041
#define IDC_SE_DARKNESS 1042
#define IDC_SE_PREVIEW 1035
#define IDC_SE_UNIT_FIRST 1076
#define IDC_SE_UNIT_LAST 1081
#define IDC_SE_INITIALISED 1025
