// winsim: security descriptors from SDDL texts (sddl.h).
#pragma once

#include <windows.h>

extern "C" {
#define SDDL_REVISION_1 1
BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor, DWORD StringSDRevision,
                                                                 PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                 PULONG SecurityDescriptorSize);
}  // extern "C"
