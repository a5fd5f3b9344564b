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
  X(IDS_ERR_SAVE_PAPER, 2211, "无法保存纸张信息。") \
  X(IDS_STOCK_UNFIXED_CONTINUOUS, 1901, "非定长连续纸") \
  X(IDS_SCALE_NONE, 1941, "无") \
  X(IDS_SCALE_PRINT_WIDTH, 1942, "缩放至打印宽度") \
  X(IDS_SCALE_SHRINK, 1943, "缩小超大页面") \
  X(IDS_SCALE_CROP, 1944, "裁剪超大页面") \
  X(IDS_SCALE_FIT, 1947, "适合") \
  X(IDS_ASK_REMOVE_PAPER, 2203, "是否删除纸张""%ws""？") \
  X(IDS_QUESTION, 2204, "问题") \
  X(IDS_ERR_REMOVE_PAPER, 2205, "无法删除纸张""%ws""。") \
  X(IDS_INFORMATION, 2206, "信息") \
  X(IDS_STOCK_GAPS, 2207, "间隙标签纸") \
  X(IDS_STOCK_MARKS, 2208, "黑标标签纸") \
  X(IDS_STOCK_CONTINUOUS, 2209, "连续纸") \
  X(IDS_NEW_PAPER, 2210, "新纸张") \
  X(IDS_USE_PRINTER_SETTINGS, 2610, "使用打印机设置") \
  X(IDS_MODE_THERMAL, 2611, "热敏") \
  X(IDS_MODE_TRANSFER, 2612, "热转印") \
  X(IDS_ACTION_NONE, 2613, "无") \
  X(IDS_ACTION_TEAR, 2614, "撕纸") \
  X(IDS_ACTION_PEEL, 2615, "剥离") \
  X(IDS_ACTION_CUT, 2616, "切纸") \
  X(IDS_OCCUR_PAGE, 2617, "每页之后") \
  X(IDS_OCCUR_JOB, 2618, "作业之后") \
  X(IDS_OCCUR_INTERVAL, 2619, "指定间隔之后") \
  X(IDS_SAVING_TOP, 2620, "顶部") \
  X(IDS_SAVING_BOTTOM, 2621, "底部") \
  X(IDS_SAVING_BOTH, 2622, "两者") \
  X(IDS_SLOT_BEFORE_JOB, 2623, "作业之前") \
  X(IDS_SLOT_BEFORE_PAGES, 2624, "页面之前") \
  X(IDS_SLOT_AFTER_PAGES, 2625, "页面之后") \
  X(IDS_SLOT_AFTER_JOB, 2626, "作业之后") \
  X(IDS_FILTER_ALL, 2627, "所有文件(*.*)") \
  X(IDS_FILTER_WATERMARK, 2628, "水印图像(*.bmp)") \
  X(IDS_SPEED_FORMAT, 2629, "%.2f in/s(%.1f mm/s)") \
  X(IDS_ERR_STOCK_NAME_BLANK, 2650, "请输入纸张的名称。") \
  X(IDS_ERR_STOCK_NAME_USER, 2651, "名称""USER""保留给文档的自定义尺寸。请选择其他名称。") \
  X(IDS_ASK_REPLACE_STOCK, 2652, "已存在名为""%ws""的纸张。是否替换？") \
  X(IDS_ERR_COMMAND_FILE_LONG, 2653, "文件名太长，无法用于用户命令：最多 %d 个字符。") \
  X(IDS_TOOLS_SENT, 2212, "文件已发送到打印机。") \
  X(IDS_TOOLS_SEND_FAILED, 2213, "无法将文件发送到打印机。") \
  X(IDS_FW_PROGRESS, 2220, "正在更新固件，请勿关闭窗口！已传输：%d%% ") \
  X(IDS_FW_STATUS_READY, 2221, "打印机已就绪") \
  X(IDS_FW_STATUS_AUTHORIZATION, 2222, "授权失败") \
  X(IDS_FW_STATUS_SWITCH_FAILED, 2223, "切换模式失败。") \
  X(IDS_FW_STATUS_SEND_FAILED, 2224, "发送数据出错，请重试。") \
  X(IDS_FW_STATUS_VERIFY_FAILED, 2225, "数据校验失败") \
  X(IDS_FW_STATUS_OPEN_FAILED, 2226, "打开文件出错") \
  X(IDS_FW_STATUS_CHECKING, 2227, "正在检查 CRC。") \
  X(IDS_FW_STATUS_OFFLINE, 2228, "打印机脱机") \
  X(IDS_FW_STATUS_PAPER_OUT, 2229, "缺纸") \
  X(IDS_FW_STATUS_PAPER_JAM, 2230, "卡纸") \
  X(IDS_FW_STATUS_COVER_OPEN, 2231, "机盖打开") \
  X(IDS_FW_STATUS_HEAD_HOT, 2232, "打印头过热") \
  X(IDS_FW_STATUS_PAUSED, 2233, "打印已暂停") \
  X(IDS_FW_STATUS_SWITCHING, 2234, "正在切换到更新模式，打印机将重启，请稍候。") \
  X(IDS_FW_STATUS_COMPLETED, 2235, "固件更新完成，正在重启打印机，请稍候。") \
  X(IDS_FW_STATUS_MODEL_MISMATCH, 2236, "此固件与当前打印机型号不匹配。是否强制更新？") \
  X(IDS_FW_BUSY, 2237, "此打印机的固件更新已在进行中。") \
  X(IDS_FW_DO_NOT_CLOSE, 2238, "正在向打印机发送固件。请等待更新结束后再关闭此窗口。") \
  X(IDS_FW_FILE_CHANGED, 2239, "固件文件在选择后已被更改，或不是完整的固件文件。请重新选择该文件。") \
  X(IDS_TOOLS_SAVE_FAILED, 2240, "无法保存打印机设置。")
