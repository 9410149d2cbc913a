#pragma once
// Turns on the process's redirection trust policy where the platform has it:
// the system itself then refuses to follow a junction that a user without
// administrator rights made, in every file call of the process and of what
// it loads. The call is looked up at run time, so the programs still start
// where it is missing; where it is there but the policy is not, it fails
// and nothing changes. Header only: both programs call it first thing in
// WinMain, right after KeepCurrentDirectoryOutOfDllSearch.
#include <windows.h>

#include "SystemFunction.h"

inline void TrustOnlyAdministratorsRedirections() {
  // PROCESS_MITIGATION_POLICY's ProcessRedirectionTrustPolicy and the
  // EnforceRedirectionTrust bit of its one-DWORD policy structure; older
  // headers lack both.
  const int kProcessRedirectionTrustPolicy = 16;
  const DWORD kEnforceRedirectionTrust = 0x1;
  using SetPolicy = BOOL(WINAPI*)(int, void*, SIZE_T);
  SetPolicy set = FindSystemFunction<SetPolicy>("kernel32.dll", "SetProcessMitigationPolicy");
  DWORD policy = kEnforceRedirectionTrust;
  if (set) set(kProcessRedirectionTrustPolicy, &policy, sizeof policy);
}
