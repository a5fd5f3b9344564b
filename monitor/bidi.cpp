// The spooler's bidirectional queries, answered from a fixed schema table.
#include <cstring>

#include "common/wstr.h"
#include "monitor/monitor.h"

namespace {

struct Schema {
  LPCWSTR name;
  HRESULT result;
  DWORD type;
  LONG value;       // BIDI_BOOL, BIDI_INT
  DWORD floatBits;  // BIDI_FLOAT
  LPCWSTR text;     // BIDI_ENUM
};

// "/Printer/Language" (last) answers from the port: 0 for TWL, else 2.
const Schema kSchemas[] = {
    {TEXT("/Printer/Installableoption/Duplexunit"), S_OK, BIDI_BOOL, TRUE, 0, nullptr},
    {TEXT("/Capability/MultiChannel"), S_OK, BIDI_BOOL, FALSE, 0, nullptr},
    {TEXT("/Communication/Version"), S_OK, BIDI_INT, 1, 0, nullptr},
    {TEXT("/Communication/BidiProtocol"), S_OK, BIDI_ENUM, 0, 0, TEXT("PJL")},
    {TEXT("/Printer/BlackInk1/Level"), S_OK, BIDI_FLOAT, 0, 0x3F30A3D7, nullptr},  // 0.69
    {TEXT("/Printer/Alerts"), E_FAIL, BIDI_NULL, 0, 0, nullptr},
    {TEXT("/Printer/Language"), S_OK, BIDI_INT, 2, 0, nullptr},
};
constexpr DWORD kSchemaCount = sizeof kSchemas / sizeof kSchemas[0];
constexpr DWORD kLanguageSchema = kSchemaCount - 1;

// Up to this many requests are answered by "GetAll" (three entries each).
constexpr DWORD kMaxGetAllRequests = 0x100000;

LPWSTR BidiString(LPCWSTR s) {
  size_t chars = WStrLen(s) + 1;
  auto* copy = static_cast<LPWSTR>(RouterAllocBidiMem(chars * sizeof(WCHAR)));
  if (copy) WStrCopy(copy, chars, s);
  return copy;
}

PBIDI_RESPONSE_CONTAINER NewContainer(DWORD entries) {
  PBIDI_RESPONSE_CONTAINER c = RouterAllocBidiResponseContainer(entries ? entries : 1);
  if (c) {
    c->Version = 1;
    c->Flags = 0;
    c->Count = entries;
  }
  return c;
}

// Fills the "Get" answer of schema `index`.
void Answer(IniPort* port, DWORD index, BIDI_RESPONSE_DATA* out) {
  const Schema& s = kSchemas[index];
  out->dwResult = static_cast<DWORD>(s.result);
  out->data.dwBidiType = s.type;
  switch (s.type) {
    case BIDI_BOOL:
      out->data.u.bData = s.value;
      break;
    case BIDI_INT:
      out->data.u.iData = index == kLanguageSchema ? (AtomicLoad(&port->isTWL) ? 0 : 2) : s.value;
      break;
    case BIDI_FLOAT:
      memcpy(&out->data.u.fData, &s.floatBits, sizeof out->data.u.fData);
      break;
    case BIDI_ENUM:
      out->data.u.sData = BidiString(s.text);
      if (!out->data.u.sData) {
        out->dwResult = static_cast<DWORD>(E_OUTOFMEMORY);
        out->data.dwBidiType = BIDI_NULL;
      }
      break;
    default:
      break;
  }
}

DWORD FindSchema(LPCWSTR name) {
  for (DWORD i = 0; i < kSchemaCount; ++i)
    if (name && WStrEqNoCase(name, kSchemas[i].name)) return i;
  return kSchemaCount;
}

}  // namespace

DWORD BidiSendRecv(IniPort* port, LPCWSTR pAction, PBIDI_REQUEST_CONTAINER pReqData,
                   PBIDI_RESPONSE_CONTAINER* ppResData) {
  const DWORD requests = pReqData ? pReqData->Count : 0;
  for (DWORD i = 0; i < requests; ++i)
    MonLog(TEXT("MonBidiSendRecv: RequestContainerSchema[%d]:%ws\n"), i, pReqData->aData[i].pSchema);

  PBIDI_RESPONSE_CONTAINER c = nullptr;
  if (WStrEqNoCase(pAction, TEXT("EnumSchema"))) {
    if (!(c = NewContainer(kSchemaCount))) return ERROR_NOT_ENOUGH_MEMORY;
    for (DWORD i = 0; i < kSchemaCount; ++i) {
      BIDI_RESPONSE_DATA& e = c->aData[i];
      e.dwResult = S_OK;
      e.dwReqNumber = 0;
      e.data.dwBidiType = BIDI_TEXT;
      e.data.u.sData = BidiString(kSchemas[i].name);
      if (!e.data.u.sData) e.dwResult = static_cast<DWORD>(E_OUTOFMEMORY);
    }
  } else if (WStrEqNoCase(pAction, TEXT("Get"))) {
    if (!(c = NewContainer(requests))) return ERROR_NOT_ENOUGH_MEMORY;
    for (DWORD i = 0; i < requests; ++i) {
      BIDI_RESPONSE_DATA& e = c->aData[i];
      e.dwReqNumber = i;
      DWORD schema = FindSchema(pReqData->aData[i].pSchema);
      if (schema < kSchemaCount) Answer(port, schema, &e);
      else e.dwResult = static_cast<DWORD>(E_FAIL);
    }
  } else if (WStrEqNoCase(pAction, TEXT("GetAll"))) {
    // Three entries per request, in a container sized to hold them all.
    if (requests > kMaxGetAllRequests || !(c = NewContainer(requests * 3))) return ERROR_NOT_ENOUGH_MEMORY;
    for (DWORD i = 0; i < requests * 3; ++i) {
      BIDI_RESPONSE_DATA& e = c->aData[i];
      e.dwResult = S_OK;
      e.dwReqNumber = i / 3;
      e.pSchema = BidiString(TEXT("/Printer/Alerts/1/Name"));
      e.data.dwBidiType = BIDI_ENUM;
      e.data.u.sData = BidiString(TEXT("CoverOpen"));
      if (!e.pSchema || !e.data.u.sData) e.dwResult = static_cast<DWORD>(E_OUTOFMEMORY);
    }
  }
  *ppResData = c;
  return ERROR_SUCCESS;
}
