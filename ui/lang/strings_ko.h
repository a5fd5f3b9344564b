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
  X(IDS_ERR_SAVE_PAPER, 2211, "용지 정보를 저장하지 못했습니다.") \
  X(IDS_STOCK_UNFIXED_CONTINUOUS, 1901, "비고정 연속 용지") \
  X(IDS_SCALE_NONE, 1941, "없음") \
  X(IDS_SCALE_PRINT_WIDTH, 1942, "인쇄 너비에 맞춤") \
  X(IDS_SCALE_SHRINK, 1943, "큰 페이지 축소") \
  X(IDS_SCALE_CROP, 1944, "큰 페이지 자르기") \
  X(IDS_SCALE_FIT, 1947, "맞춤") \
  X(IDS_ASK_REMOVE_PAPER, 2203, "용지 ""%ws""을(를) 삭제하시겠습니까?") \
  X(IDS_QUESTION, 2204, "질문") \
  X(IDS_ERR_REMOVE_PAPER, 2205, "용지 ""%ws""을(를) 삭제하지 못했습니다.") \
  X(IDS_INFORMATION, 2206, "정보") \
  X(IDS_STOCK_GAPS, 2207, "간격 있는 라벨 용지") \
  X(IDS_STOCK_MARKS, 2208, "블랙 마크 라벨 용지") \
  X(IDS_STOCK_CONTINUOUS, 2209, "연속 용지") \
  X(IDS_NEW_PAPER, 2210, "새 용지") \
  X(IDS_USE_PRINTER_SETTINGS, 2610, "프린터 설정 사용") \
  X(IDS_MODE_THERMAL, 2611, "감열") \
  X(IDS_MODE_TRANSFER, 2612, "열전사") \
  X(IDS_ACTION_NONE, 2613, "없음") \
  X(IDS_ACTION_TEAR, 2614, "뜯어내기") \
  X(IDS_ACTION_PEEL, 2615, "박리") \
  X(IDS_ACTION_CUT, 2616, "절단") \
  X(IDS_OCCUR_PAGE, 2617, "매 페이지 후") \
  X(IDS_OCCUR_JOB, 2618, "작업 후") \
  X(IDS_OCCUR_INTERVAL, 2619, "지정 간격 후") \
  X(IDS_SAVING_TOP, 2620, "위쪽") \
  X(IDS_SAVING_BOTTOM, 2621, "아래쪽") \
  X(IDS_SAVING_BOTH, 2622, "양쪽") \
  X(IDS_SLOT_BEFORE_JOB, 2623, "작업 전") \
  X(IDS_SLOT_BEFORE_PAGES, 2624, "페이지 전") \
  X(IDS_SLOT_AFTER_PAGES, 2625, "페이지 후") \
  X(IDS_SLOT_AFTER_JOB, 2626, "작업 후") \
  X(IDS_FILTER_ALL, 2627, "모든 파일(*.*)") \
  X(IDS_FILTER_WATERMARK, 2628, "워터마크 이미지(*.bmp)") \
  X(IDS_SPEED_FORMAT, 2629, "%.2f in/s(%.1f mm/s)") \
  X(IDS_ERR_STOCK_NAME_BLANK, 2650, "용지 이름을 입력하십시오.") \
  X(IDS_ERR_STOCK_NAME_USER, 2651, "이름 ""USER""는 문서 고유 크기용입니다. 다른 이름을 선택하십시오.") \
  X(IDS_ASK_REPLACE_STOCK, 2652, "이름이 ""%ws""인 용지가 이미 있습니다. 바꾸시겠습니까?") \
  X(IDS_ERR_COMMAND_FILE_LONG, 2653, "파일 이름이 너무 길어 사용자 명령에 쓸 수 없습니다. 최대 %d자입니다.") \
  X(IDS_TOOLS_SENT, 2212, "파일을 프린터로 보냈습니다.") \
  X(IDS_TOOLS_SEND_FAILED, 2213, "파일을 프린터로 보내지 못했습니다.") \
  X(IDS_FW_PROGRESS, 2220, "펌웨어 업데이트 중, 창을 닫지 마십시오! 전송 완료: %d%% ") \
  X(IDS_FW_STATUS_READY, 2221, "프린터 준비됨") \
  X(IDS_FW_STATUS_AUTHORIZATION, 2222, "인증 실패") \
  X(IDS_FW_STATUS_SWITCH_FAILED, 2223, "모드를 전환하지 못했습니다.") \
  X(IDS_FW_STATUS_SEND_FAILED, 2224, "데이터 전송 오류. 다시 시도하십시오.") \
  X(IDS_FW_STATUS_VERIFY_FAILED, 2225, "데이터 검증 실패") \
  X(IDS_FW_STATUS_OPEN_FAILED, 2226, "파일 열기 오류") \
  X(IDS_FW_STATUS_CHECKING, 2227, "CRC 확인 중.") \
  X(IDS_FW_STATUS_OFFLINE, 2228, "프린터 오프라인") \
  X(IDS_FW_STATUS_PAPER_OUT, 2229, "용지 없음") \
  X(IDS_FW_STATUS_PAPER_JAM, 2230, "용지 걸림") \
  X(IDS_FW_STATUS_COVER_OPEN, 2231, "커버 열림") \
  X(IDS_FW_STATUS_HEAD_HOT, 2232, "헤드 과열") \
  X(IDS_FW_STATUS_PAUSED, 2233, "인쇄 일시 중지됨") \
  X(IDS_FW_STATUS_SWITCHING, 2234, "업데이트 모드로 전환 중입니다. 프린터가 다시 시작되니 잠시 기다리십시오.") \
  X(IDS_FW_STATUS_COMPLETED, 2235, "펌웨어 업데이트 완료. 프린터를 재부팅하는 중이니 잠시 기다리십시오.") \
  X(IDS_FW_STATUS_MODEL_MISMATCH, 2236, "이 펌웨어는 현재 프린터 모델과 맞지 않습니다. 강제로 업데이트하시겠습니까?") \
  X(IDS_FW_BUSY, 2237, "이 프린터의 펌웨어 업데이트가 이미 진행 중입니다.") \
  X(IDS_FW_DO_NOT_CLOSE, 2238, "펌웨어를 프린터로 보내는 중입니다. 업데이트가 끝난 후에 이 창을 닫으십시오.") \
  X(IDS_FW_FILE_CHANGED, 2239, "펌웨어 파일이 선택한 후에 변경되었거나 완전한 펌웨어 파일이 아닙니다. 파일을 다시 선택하십시오.") \
  X(IDS_TOOLS_SAVE_FAILED, 2240, "프린터 설정을 저장할 수 없습니다.")
