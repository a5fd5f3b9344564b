/* lbldrv6ui's string table in Korean: the lines of strings.h with the texts translated.
   Only preprocessor lines here (read by the resource compiler). UTF-8. */
#pragma once

#define LBL_UI_STRINGS_KO(X)                                                              \
  X(IDS_DRIVER_TITLE, 1900, "Windows용 Ambervin 프린터 드라이버")                         \
  X(IDS_ERR_MEMORY, 1902, "메모리를 할당하지 못했습니다.")                                \
  X(IDS_ERR_INVALID_DATA, 1903, "프린터 드라이버에 잘못된 데이터가 전달되었습니다.")      \
  X(IDS_ERR_PAPER_RANGE, 1904, "용지 크기가 프린터에서 지원하는 범위를 벗어났습니다.")    \
  X(IDS_ERR_PAPER_NOT_LOADED, 1914, "선택한 용지가 장착되지 않았습니다.")                 \
  X(IDS_HELP_FILE, 1916, "lbldrv6ui.hlp")                                                 \
  X(IDS_ABOUT_PRODUCT, 1930, "Tarnwell 라벨 프린터 드라이버")                             \
  X(IDS_ABOUT_NOTICE, 1931, "Copyright (C) 2024 Tarnwell. 모든 권리 보유.")               \
  X(IDS_BIN_ROLL, 2044, "롤 용지함")                                                      \
  X(IDS_BIN_MAIN, 2045, "기본 용지함")                                                    \
  X(IDS_CUSTOM_SIZE, 2200, "사용자 지정 크기")                                            \
  X(IDS_ERR_SAVE_PAPER, 2211, "용지 정보를 저장하지 못했습니다.")
