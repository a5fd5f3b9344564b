/* lbldrv6ui's string table in Chinese (Simplified): the lines of strings.h with the texts translated.
   Only preprocessor lines here (read by the resource compiler). UTF-8. */
#pragma once

#define LBL_UI_STRINGS_ZH(X)                                                              \
  X(IDS_DRIVER_TITLE, 1900, "Ambervin Windows 打印机驱动程序")                            \
  X(IDS_ERR_MEMORY, 1902, "内存分配失败。")                                               \
  X(IDS_ERR_INVALID_DATA, 1903, "传递给打印机驱动程序的数据无效。")                       \
  X(IDS_ERR_PAPER_RANGE, 1904, "纸张尺寸超出了打印机支持的范围。")                        \
  X(IDS_ERR_PAPER_NOT_LOADED, 1914, "所选纸张尚未装入。")                                 \
  X(IDS_HELP_FILE, 1916, "lbldrv6ui.hlp")                                                 \
  X(IDS_ABOUT_PRODUCT, 1930, "Tarnwell 标签打印机驱动程序")                               \
  X(IDS_ABOUT_NOTICE, 1931, "版权所有 (C) 2024 Tarnwell。保留所有权利。")                 \
  X(IDS_BIN_ROLL, 2044, "卷纸纸仓")                                                       \
  X(IDS_BIN_MAIN, 2045, "主纸仓")                                                         \
  X(IDS_CUSTOM_SIZE, 2200, "自定义尺寸")                                                  \
  X(IDS_ERR_SAVE_PAPER, 2211, "无法保存纸张信息。")
