/* lbldrv6ui's string table in Russian: the lines of strings.h with the texts translated.
   Only preprocessor lines here (read by the resource compiler). UTF-8. */
#pragma once

#define LBL_UI_STRINGS_RU(X)                                                              \
  X(IDS_DRIVER_TITLE, 1900, "Драйвер принтера Ambervin для Windows")                      \
  X(IDS_ERR_MEMORY, 1902, "Не удалось выделить память.")                                  \
  X(IDS_ERR_INVALID_DATA, 1903, "Драйверу принтера переданы недопустимые данные.")        \
  X(IDS_ERR_PAPER_RANGE, 1904, "Размер бумаги выходит за пределы, поддерживаемые принтером.") \
  X(IDS_ERR_PAPER_NOT_LOADED, 1914, "Выбранная бумага не загружена.")                     \
  X(IDS_HELP_FILE, 1916, "lbldrv6ui.hlp")                                                 \
  X(IDS_ABOUT_PRODUCT, 1930, "Драйвер принтера этикеток Tarnwell")                        \
  X(IDS_ABOUT_NOTICE, 1931, "Copyright (C) 2024 Tarnwell. Все права защищены.")           \
  X(IDS_BIN_ROLL, 2044, "Лоток рулонной бумаги")                                          \
  X(IDS_BIN_MAIN, 2045, "Основной лоток")                                                 \
  X(IDS_CUSTOM_SIZE, 2200, "Пользовательский размер")                                     \
  X(IDS_ERR_SAVE_PAPER, 2211, "Не удалось сохранить сведения о бумаге.")
