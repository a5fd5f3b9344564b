// kernel32: activation contexts made from a module's manifest resource, and each thread's stack of
// active contexts. What a context carries here is whether its manifest binds Common Controls 6.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "internal.h"

using namespace winsim::detail;

namespace {

struct ActCtx : Object {
  bool commonControls6 = false;
  int refs = 1;  // the creator's reference; AddRefActCtx and ReleaseActCtx count on it
};

struct Activation {
  std::shared_ptr<ActCtx> ctx;
  ULONG_PTR cookie = 0;
};
thread_local std::vector<Activation> t_stack;
ULONG_PTR g_nextCookie = 1;  // under the machine lock

std::string_view Attribute(std::string_view element, std::string_view name) {
  for (size_t at = element.find(name); at != std::string_view::npos; at = element.find(name, at + 1)) {
    size_t eq = element.find_first_not_of(" \t\r\n", at + name.size());
    if (eq == std::string_view::npos || element[eq] != '=') continue;
    size_t q = element.find_first_not_of(" \t\r\n", eq + 1);
    if (q == std::string_view::npos || (element[q] != '"' && element[q] != '\'')) continue;
    size_t end = element.find(element[q], q + 1);
    if (end == std::string_view::npos) return {};
    return element.substr(q + 1, end - q - 1);
  }
  return {};
}

// An assembly manifest: one <assembly> element of manifestVersion 1.0.
bool IsManifest(std::string_view text) {
  size_t open = text.find("<assembly");
  if (open == std::string_view::npos || text.find("</assembly>", open) == std::string_view::npos) return false;
  return Attribute(text.substr(open, text.find('>', open) - open), "manifestVersion") == "1.0";
}

// A <dependentAssembly> naming Microsoft.Windows.Common-Controls of a version 6.x.
bool BindsCommonControls6(std::string_view text) {
  for (size_t at = text.find("<dependentAssembly"); at != std::string_view::npos;
       at = text.find("<dependentAssembly", at + 1)) {
    size_t end = text.find("</dependentAssembly>", at);
    std::string_view block = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    size_t id = block.find("<assemblyIdentity");
    if (id == std::string_view::npos) continue;
    std::string_view identity = block.substr(id, block.find('>', id) - id);
    if (Attribute(identity, "name") == "Microsoft.Windows.Common-Controls" &&
        Attribute(identity, "version").substr(0, 2) == "6.")
      return true;
  }
  return false;
}

constexpr DWORD kKnownFlags = ACTCTX_FLAG_PROCESSOR_ARCHITECTURE_VALID | ACTCTX_FLAG_LANGID_VALID |
                              ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID |
                              ACTCTX_FLAG_SET_PROCESS_DEFAULT | ACTCTX_FLAG_APPLICATION_NAME_VALID |
                              ACTCTX_FLAG_HMODULE_VALID;

}  // namespace

namespace winsim::detail {

bool CommonControls6Active() { return !t_stack.empty() && t_stack.back().ctx && t_stack.back().ctx->commonControls6; }

}  // namespace winsim::detail

extern "C" {

HANDLE WINAPI CreateActCtxW(PCACTCTXW p) {
  if (!p || p->cbSize < sizeof(ACTCTXW) || (p->dwFlags & ~kKnownFlags)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (!(p->dwFlags & ACTCTX_FLAG_HMODULE_VALID) || !p->hModule || !(p->dwFlags & ACTCTX_FLAG_RESOURCE_NAME_VALID)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  HRSRC found = FindResourceW(p->hModule, p->lpResourceName, RT_MANIFEST);
  if (!found) return INVALID_HANDLE_VALUE;  // FindResourceW's ERROR_RESOURCE_TYPE/NAME_NOT_FOUND
  const void* data = LockResource(LoadResource(p->hModule, found));
  const DWORD size = SizeofResource(p->hModule, found);
  std::string_view text(static_cast<const char*>(data), data ? size : 0);
  if (!IsManifest(text)) {
    SetLastError(ERROR_SXS_CANT_GEN_ACTCTX);
    return INVALID_HANDLE_VALUE;
  }
  auto ctx = std::make_shared<ActCtx>();
  ctx->commonControls6 = BindsCommonControls6(text);
  return NewHandle(ctx);
}

BOOL WINAPI ActivateActCtx(HANDLE hActCtx, ULONG_PTR* lpCookie) {
  // A null context is valid: it stands for the process's default, which in winsim has no manifest.
  std::shared_ptr<ActCtx> ctx;
  if (hActCtx && !(ctx = GetHandle<ActCtx>(hActCtx))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!lpCookie) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  {
    Guard g(Mutex());
    *lpCookie = g_nextCookie++;
  }
  t_stack.push_back({ctx, *lpCookie});
  return TRUE;
}

BOOL WINAPI DeactivateActCtx(DWORD dwFlags, ULONG_PTR ulCookie) {
  if (dwFlags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (t_stack.empty() || t_stack.back().cookie != ulCookie) {
    std::fprintf(stderr, "winsim: DeactivateActCtx with cookie %llu, not the thread's newest activation\n",
                 static_cast<unsigned long long>(ulCookie));
    std::abort();
  }
  t_stack.pop_back();
  return TRUE;
}

void WINAPI AddRefActCtx(HANDLE hActCtx) {
  Guard g(Mutex());
  if (auto ctx = GetHandle<ActCtx>(hActCtx)) ++ctx->refs;
}

void WINAPI ReleaseActCtx(HANDLE hActCtx) {
  Guard g(Mutex());
  auto ctx = GetHandle<ActCtx>(hActCtx);
  if (ctx && --ctx->refs == 0) TakeHandleOf<ActCtx>(hActCtx);  // activations still hold it
}

}  // extern "C"
