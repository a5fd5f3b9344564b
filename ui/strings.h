/* The string table of lbldrv6ui: one entry per string, X(symbol, id, English text). The resource
   script expands it into its STRINGTABLE for the Windows build; the Linux build registers the same
   entries with winsim as RT_STRING blocks. Only preprocessor lines here: the resource compiler
   reads this file too. */
#pragma once

#define LBL_UI_STRINGS(X)                                                                 \
  X(IDS_DRIVER_TITLE, 1900, "Ambervin Printer Driver for Windows")                        \
  X(IDS_ERR_MEMORY, 1902, "Memory allocation failed.")                                    \
  X(IDS_ERR_INVALID_DATA, 1903, "Invalid data passed to the printer driver.")             \
  X(IDS_ERR_PAPER_RANGE, 1904, "The paper size is out of range supported by printer.")    \
  X(IDS_ERR_PAPER_NOT_LOADED, 1914, "The selected paper has not been loaded.")            \
  X(IDS_HELP_FILE, 1916, "lbldrv6ui.hlp")                                                 \
  X(IDS_ABOUT_PRODUCT, 1930, "Tarnwell Label Printer Driver")                             \
  X(IDS_ABOUT_NOTICE, 1931, "Copyright (C) 2024 Tarnwell. All rights reserved.")           \
  X(IDS_BIN_ROLL, 2044, "Roll paper storehouse")                                          \
  X(IDS_BIN_MAIN, 2045, "Main storehouse")                                                \
  X(IDS_CUSTOM_SIZE, 2200, "Custom size")                                                 \
  X(IDS_ERR_SAVE_PAPER, 2211, "Failed to save paper information.")                      \
  /* Page Setup and the label stock editor */                                             \
  X(IDS_STOCK_UNFIXED_CONTINUOUS, 1901, "Un-fixed Continuous paper")                      \
  X(IDS_SCALE_NONE, 1941, "None")                                                         \
  X(IDS_SCALE_PRINT_WIDTH, 1942, "Scale to the print width")                              \
  X(IDS_SCALE_SHRINK, 1943, "Shrink Oversized pages")                                     \
  X(IDS_SCALE_CROP, 1944, "Crop Oversized pages")                                         \
  X(IDS_SCALE_FIT, 1947, "Fit")                                                           \
  X(IDS_ASK_REMOVE_PAPER, 2203, "Remove the paper ""%ws"", yes or no?")                      \
  X(IDS_QUESTION, 2204, "Question")                                                       \
  X(IDS_ERR_REMOVE_PAPER, 2205, "Failed to remove paper ""%ws"".")                            \
  X(IDS_INFORMATION, 2206, "Information")                                                 \
  X(IDS_STOCK_GAPS, 2207, "Label paper with gaps")                                        \
  X(IDS_STOCK_MARKS, 2208, "Label paper with black marks")                                \
  X(IDS_STOCK_CONTINUOUS, 2209, "Continuous paper")                                       \
  X(IDS_NEW_PAPER, 2210, "New paper")                                                    \
  /* Graphics Property, Print Settings and WaterMark pages */                             \
  X(IDS_USE_PRINTER_SETTINGS, 2610, "Use printer settings")                               \
  X(IDS_MODE_THERMAL, 2611, "Thermal")                                                    \
  X(IDS_MODE_TRANSFER, 2612, "Thermal Transfer")                                          \
  X(IDS_ACTION_NONE, 2613, "None")                                                        \
  X(IDS_ACTION_TEAR, 2614, "Tear Off")                                                    \
  X(IDS_ACTION_PEEL, 2615, "Peel off")                                                    \
  X(IDS_ACTION_CUT, 2616, "Cut Off")                                                      \
  X(IDS_OCCUR_PAGE, 2617, "After Every Page")                                             \
  X(IDS_OCCUR_JOB, 2618, "After Job")                                                     \
  X(IDS_OCCUR_INTERVAL, 2619, "After Specified Interval")                                 \
  X(IDS_SAVING_TOP, 2620, "Top")                                                          \
  X(IDS_SAVING_BOTTOM, 2621, "Bottom")                                                    \
  X(IDS_SAVING_BOTH, 2622, "Both")                                                        \
  X(IDS_SLOT_BEFORE_JOB, 2623, "Before job")                                              \
  X(IDS_SLOT_BEFORE_PAGES, 2624, "Before pages")                                          \
  X(IDS_SLOT_AFTER_PAGES, 2625, "After pages")                                            \
  X(IDS_SLOT_AFTER_JOB, 2626, "After job")                                                \
  X(IDS_FILTER_ALL, 2627, "All(*.*)")                                                     \
  X(IDS_FILTER_WATERMARK, 2628, "Watermark image(*.bmp)")                                 \
  X(IDS_SPEED_FORMAT, 2629, "%.2f in/s(%.1f mm/s)")                                      \
  X(IDS_ERR_STOCK_NAME_BLANK, 2650, "Enter a name for the label stock.")                 \
  X(IDS_ERR_STOCK_NAME_USER, 2651, "The name ""USER"" is kept for the document's own size. Choose another name.")\
  X(IDS_ASK_REPLACE_STOCK, 2652, "A label stock named ""%ws"" exists already. Replace it?")\
  X(IDS_ERR_COMMAND_FILE_LONG, 2653, "The file name is too long for a user command: at most %d characters.")\
  /* Printer Settings page (printer tools) */                                             \
  X(IDS_TOOLS_SENT, 2212, "The file was sent to the printer.")                            \
  X(IDS_TOOLS_SEND_FAILED, 2213, "Failed to send the file to the printer.")               \
  X(IDS_FW_PROGRESS, 2220, "Updating firmware, do not close the window! Transfer complete: %d%% ") \
  X(IDS_FW_STATUS_READY, 2221, "Printer is ready")                                        \
  X(IDS_FW_STATUS_AUTHORIZATION, 2222, "Authorization failure")                           \
  X(IDS_FW_STATUS_SWITCH_FAILED, 2223, "Failed to switch mode.")                          \
  X(IDS_FW_STATUS_SEND_FAILED, 2224, "Error sending data. Please try again.")             \
  X(IDS_FW_STATUS_VERIFY_FAILED, 2225, "Data verification failure")                       \
  X(IDS_FW_STATUS_OPEN_FAILED, 2226, "File opening error")                                \
  X(IDS_FW_STATUS_CHECKING, 2227, "Checking CRC.")                                        \
  X(IDS_FW_STATUS_OFFLINE, 2228, "Printer offline")                                       \
  X(IDS_FW_STATUS_PAPER_OUT, 2229, "Paper Out")                                           \
  X(IDS_FW_STATUS_PAPER_JAM, 2230, "Paper Jam")                                           \
  X(IDS_FW_STATUS_COVER_OPEN, 2231, "Cover Opened")                                       \
  X(IDS_FW_STATUS_HEAD_HOT, 2232, "Head Overheat")                                        \
  X(IDS_FW_STATUS_PAUSED, 2233, "Print Paused")                                           \
  X(IDS_FW_STATUS_SWITCHING, 2234, "Switching to update mode, this process will restart the printer, please wait for a moment.") \
  X(IDS_FW_STATUS_COMPLETED, 2235, "Firmware update completed, rebooting printer, please wait for a moment.") \
  X(IDS_FW_STATUS_MODEL_MISMATCH, 2236, "This firmware does not match the current printer model. Force to update it?") \
  X(IDS_FW_BUSY, 2237, "A firmware update of this printer is already running.") \
  X(IDS_FW_DO_NOT_CLOSE, 2238, "The firmware is being sent to the printer. Wait until the update has ended before you close this window.") \
  X(IDS_FW_FILE_CHANGED, 2239, "The firmware file has changed since it was chosen, or it is not a complete firmware file. Choose the file again.") \
  X(IDS_TOOLS_SAVE_FAILED, 2240, "The printer settings could not be saved.")

#ifndef RC_INVOKED
#define LBL_UI_STRING_ENUM(symbol, id, text) symbol = id,
enum UiStringId : unsigned { LBL_UI_STRINGS(LBL_UI_STRING_ENUM) };
#undef LBL_UI_STRING_ENUM
#endif
