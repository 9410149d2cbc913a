#include "SystemCalls.h"

#include "../../common/SystemFunction.h"

namespace {
template <typename Result, Result kFailed, typename... Arguments>
Result WINAPI Missing(Arguments...) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return kFailed;
}

template <typename Result, Result kFailed = Result(), typename... Arguments>
void Find(Result(WINAPI*& call)(Arguments...), const char* module, const char* name) {
  call = FindSystemFunction<Result(WINAPI*)(Arguments...)>(module, name);
  if (!call) call = &Missing<Result, kFailed, Arguments...>;
}

const NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002);  // STATUS_NOT_IMPLEMENTED

SystemCalls FindAll() {
  SystemCalls calls;
  Find(calls.GetFinalPathNameByHandleW, "kernel32.dll", "GetFinalPathNameByHandleW");
  Find(calls.CompareStringOrdinal, "kernel32.dll", "CompareStringOrdinal");
  Find(calls.GetFileInformationByHandleEx, "kernel32.dll", "GetFileInformationByHandleEx");
  Find(calls.SetFileInformationByHandle, "kernel32.dll", "SetFileInformationByHandle");
  Find<NTSTATUS, kNotImplemented>(calls.NtCreateFile, "ntdll.dll", "NtCreateFile");
  Find<NTSTATUS, kNotImplemented>(calls.NtQueryObject, "ntdll.dll", "NtQueryObject");
  Find(calls.AddDllDirectory, "kernel32.dll", "AddDllDirectory");
  Find(calls.RemoveDllDirectory, "kernel32.dll", "RemoveDllDirectory");
  Find<HRESULT, E_NOTIMPL>(calls.SHGetKnownFolderPath, "shell32.dll", "SHGetKnownFolderPath");
  return calls;
}
}  // namespace

const SystemCalls& Newer() {
  static const SystemCalls calls = FindAll();
  return calls;
}
