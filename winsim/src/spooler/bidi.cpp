// Bidirectional response memory: the router's allocations that a monitor hands back and the spooler
// releases. Blocks stay tracked across resets until they are released.
#include <cstdio>
#include <cstdlib>
#include <set>

#include "internal.h"
#include "winsim/monitorhost.h"

using namespace winsim::detail;

namespace {

std::set<void*>& Live() {
  static auto* live = new std::set<void*>;  // live RouterAllocBidi* blocks
  return *live;
}

void* BidiAlloc(size_t bytes) {
  void* p = calloc(1, bytes ? bytes : 1);
  if (!p) return nullptr;
  Guard g(Mutex());
  Live().insert(p);
  return p;
}

}  // namespace

namespace winsim {

size_t LiveBidiAllocations() {
  Guard g(Mutex());
  return Live().size();
}

}  // namespace winsim

extern "C" {

PBIDI_RESPONSE_CONTAINER WINAPI RouterAllocBidiResponseContainer(DWORD Count) {
  size_t bytes = offsetof(BIDI_RESPONSE_CONTAINER, aData) + size_t(Count ? Count : 1) * sizeof(BIDI_RESPONSE_DATA);
  auto* c = static_cast<PBIDI_RESPONSE_CONTAINER>(BidiAlloc(bytes));
  if (!c) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  c->Count = Count;
  return c;
}

PVOID WINAPI RouterAllocBidiMem(size_t NumBytes) {
  void* p = BidiAlloc(NumBytes);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}

VOID WINAPI RouterFreeBidiMem(PVOID pMemPointer) {
  if (!pMemPointer) return;
  {
    Guard g(Mutex());
    if (!Live().erase(pMemPointer)) {  // not ours, or released twice
      fprintf(stderr, "winsim: RouterFreeBidiMem of unknown block %p\n", pMemPointer);
      abort();
    }
  }
  free(pMemPointer);
}

DWORD WINAPI RouterFreeBidiResponseContainer(PBIDI_RESPONSE_CONTAINER pData) {
  if (!pData) return ERROR_INVALID_PARAMETER;
  for (DWORD i = 0; i < pData->Count; ++i) {
    BIDI_RESPONSE_DATA& e = pData->aData[i];
    RouterFreeBidiMem(e.pSchema);
    switch (e.data.dwBidiType) {
      case BIDI_STRING:
      case BIDI_TEXT:
      case BIDI_ENUM: RouterFreeBidiMem(e.data.u.sData); break;
      case BIDI_BLOB: RouterFreeBidiMem(e.data.u.biData.pData); break;
      default: break;
    }
  }
  RouterFreeBidiMem(pData);
  return ERROR_SUCCESS;
}

}  // extern "C"
