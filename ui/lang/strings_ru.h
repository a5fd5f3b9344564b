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
  X(IDS_ERR_SAVE_PAPER, 2211, "Не удалось сохранить сведения о бумаге.") \
  X(IDS_STOCK_UNFIXED_CONTINUOUS, 1901, "Непрерывная, без фикс. длины") \
  X(IDS_SCALE_NONE, 1941, "Нет") \
  X(IDS_SCALE_PRINT_WIDTH, 1942, "По ширине печати") \
  X(IDS_SCALE_SHRINK, 1943, "Уменьшать большие страницы") \
  X(IDS_SCALE_CROP, 1944, "Обрезать большие страницы") \
  X(IDS_SCALE_FIT, 1947, "Вписать") \
  X(IDS_ASK_REMOVE_PAPER, 2203, "Удалить бумагу ""%ws""?") \
  X(IDS_QUESTION, 2204, "Вопрос") \
  X(IDS_ERR_REMOVE_PAPER, 2205, "Не удалось удалить бумагу ""%ws"".") \
  X(IDS_INFORMATION, 2206, "Сведения") \
  X(IDS_STOCK_GAPS, 2207, "Этикетки с зазорами") \
  X(IDS_STOCK_MARKS, 2208, "Этикетки с черными метками") \
  X(IDS_STOCK_CONTINUOUS, 2209, "Непрерывная бумага") \
  X(IDS_NEW_PAPER, 2210, "Новая бумага") \
  X(IDS_USE_PRINTER_SETTINGS, 2610, "Из настроек принтера") \
  X(IDS_MODE_THERMAL, 2611, "Термопечать") \
  X(IDS_MODE_TRANSFER, 2612, "Термотрансфер") \
  X(IDS_ACTION_NONE, 2613, "Нет") \
  X(IDS_ACTION_TEAR, 2614, "Отрыв") \
  X(IDS_ACTION_PEEL, 2615, "Отделение") \
  X(IDS_ACTION_CUT, 2616, "Отрезка") \
  X(IDS_OCCUR_PAGE, 2617, "После каждой страницы") \
  X(IDS_OCCUR_JOB, 2618, "После задания") \
  X(IDS_OCCUR_INTERVAL, 2619, "Через заданный интервал") \
  X(IDS_SAVING_TOP, 2620, "Сверху") \
  X(IDS_SAVING_BOTTOM, 2621, "Снизу") \
  X(IDS_SAVING_BOTH, 2622, "Оба") \
  X(IDS_SLOT_BEFORE_JOB, 2623, "Перед заданием") \
  X(IDS_SLOT_BEFORE_PAGES, 2624, "Перед страницами") \
  X(IDS_SLOT_AFTER_PAGES, 2625, "После страниц") \
  X(IDS_SLOT_AFTER_JOB, 2626, "После задания") \
  X(IDS_FILTER_ALL, 2627, "Все(*.*)") \
  X(IDS_FILTER_WATERMARK, 2628, "Водяной знак(*.bmp)") \
  X(IDS_SPEED_FORMAT, 2629, "%.2f дюйм/с(%.1f мм/с)") \
  X(IDS_ERR_STOCK_NAME_BLANK, 2650, "Введите название бумаги.") \
  X(IDS_ERR_STOCK_NAME_USER, 2651, "Имя ""USER"" занято собственным размером документа. Выберите другое имя.") \
  X(IDS_ASK_REPLACE_STOCK, 2652, "Бумага ""%ws"" уже существует. Заменить её?") \
  X(IDS_ERR_COMMAND_FILE_LONG, 2653, "Имя файла слишком длинное для пользовательской команды: не более %d символов.") \
  X(IDS_TOOLS_SENT, 2212, "Файл отправлен на принтер.") \
  X(IDS_TOOLS_SEND_FAILED, 2213, "Не удалось отправить файл на принтер.") \
  X(IDS_FW_PROGRESS, 2220, "Обновление прошивки, не закрывайте окно! Передано: %d%% ") \
  X(IDS_FW_STATUS_READY, 2221, "Принтер готов") \
  X(IDS_FW_STATUS_AUTHORIZATION, 2222, "Ошибка авторизации") \
  X(IDS_FW_STATUS_SWITCH_FAILED, 2223, "Не удалось сменить режим.") \
  X(IDS_FW_STATUS_SEND_FAILED, 2224, "Ошибка отправки данных. Повторите попытку.") \
  X(IDS_FW_STATUS_VERIFY_FAILED, 2225, "Ошибка проверки данных") \
  X(IDS_FW_STATUS_OPEN_FAILED, 2226, "Ошибка открытия файла") \
  X(IDS_FW_STATUS_CHECKING, 2227, "Проверка CRC.") \
  X(IDS_FW_STATUS_OFFLINE, 2228, "Принтер не в сети") \
  X(IDS_FW_STATUS_PAPER_OUT, 2229, "Нет бумаги") \
  X(IDS_FW_STATUS_PAPER_JAM, 2230, "Замятие бумаги") \
  X(IDS_FW_STATUS_COVER_OPEN, 2231, "Крышка открыта") \
  X(IDS_FW_STATUS_HEAD_HOT, 2232, "Перегрев головки") \
  X(IDS_FW_STATUS_PAUSED, 2233, "Пауза печати") \
  X(IDS_FW_STATUS_SWITCHING, 2234, "Переход в режим обновления, принтер будет перезапущен, подождите.") \
  X(IDS_FW_STATUS_COMPLETED, 2235, "Прошивка обновлена, принтер перезагружается, подождите.") \
  X(IDS_FW_STATUS_MODEL_MISMATCH, 2236, "Прошивка не подходит к текущей модели принтера. Обновить принудительно?") \
  X(IDS_FW_BUSY, 2237, "Обновление прошивки этого принтера уже выполняется.") \
  X(IDS_FW_DO_NOT_CLOSE, 2238, "Прошивка передается на принтер. Дождитесь окончания обновления, прежде чем закрывать это окно.") \
  X(IDS_FW_FILE_CHANGED, 2239, "Файл прошивки изменился после выбора или не является полной прошивкой. Выберите файл снова.") \
  X(IDS_TOOLS_SAVE_FAILED, 2240, "Не удалось сохранить настройки принтера.")
