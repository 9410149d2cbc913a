#pragma once
// The system calls newer than Windows XP that unravel's file work needs,
// looked up once, at first use, in one table. Where the platform lacks one,
// its entry is a stand-in that fails as the call itself fails, with
// ERROR_CALL_NOT_IMPLEMENTED (NTSTATUS and HRESULT calls with their own
// "not implemented" codes), so callers treat it as any failure of the call.
#include <windows.h>
#include <winternl.h>

struct SystemCalls {
  DWORD(WINAPI* GetFinalPathNameByHandleW)(HANDLE, LPWSTR, DWORD, DWORD);
  int(WINAPI* CompareStringOrdinal)(LPCWSTR, int, LPCWSTR, int, BOOL);
  BOOL(WINAPI* GetFileInformationByHandleEx)(HANDLE, int, void*, DWORD);
  BOOL(WINAPI* SetFileInformationByHandle)(HANDLE, int, void*, DWORD);
  // The only open relative to a folder handle, and an open file's name as
  // the object manager keeps it.
  NTSTATUS(NTAPI* NtCreateFile)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG,
                                ULONG, ULONG, ULONG, void*, ULONG);
  NTSTATUS(NTAPI* NtQueryObject)(HANDLE, ULONG, void*, ULONG, ULONG*);
  void*(WINAPI* AddDllDirectory)(LPCWSTR);
  BOOL(WINAPI* RemoveDllDirectory)(void*);
  HRESULT(WINAPI* SHGetKnownFolderPath)(const GUID&, DWORD, HANDLE, PWSTR*);
};

const SystemCalls& Newer();

// FILE_INFO_BY_HANDLE_CLASS values, which the headers show only to programs
// built for Vista and later.
const int kFileAttributeTagInfo = 9;
const int kFileDispositionInfo = 4;
const int kFileIdBothDirectoryInfo = 10;
const int kFileIdBothDirectoryRestartInfo = 11;
