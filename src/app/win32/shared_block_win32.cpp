#include "app/win32/shared_block_win32.h"

#include <sddl.h>

#include <cstring>
#include <memory>
#include <string>

#include "app/shared_block.h"
#include "common/trace.h"

namespace torvo::win32 {
namespace {

constexpr wchar_t kShareDataName[] = L"Zenqo_K27_Vistrane_Share_Data";

// The text form of the current user's SID, empty when unknown.
std::wstring CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::wstring text;
  if (size != 0) {
    auto buffer = std::make_unique<unsigned char[]>(size);
    if (GetTokenInformation(token, TokenUser, buffer.get(), size, &size)) {
      const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.get());
      wchar_t* sid = nullptr;
      if (ConvertSidToStringSidW(user->User.Sid, &sid)) {
        text = sid;
        LocalFree(sid);
      }
    }
  }
  CloseHandle(token);
  return text;
}

// A security descriptor whose DACL grants all access to SYSTEM and to the
// current user and to nobody else (the suite's programs all run as that
// user). Freed with LocalFree; null on failure.
PSECURITY_DESCRIPTOR UserOnlyDescriptor() {
  const std::wstring user = CurrentUserSid();
  if (user.empty()) return nullptr;
  const std::wstring sddl = L"D:P(A;;GA;;;SY)(A;;GA;;;" + user + L")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return nullptr;
  }
  return descriptor;
}

// NtQuerySection's basic information.
struct SectionBasicInformation {
  PVOID baseAddress;
  ULONG attributes;
  LARGE_INTEGER size;
};
using NtQuerySectionFunction = LONG(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);

}  // namespace

unsigned long long SharedMappingSize(HANDLE mapping, const void* view) {
  if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
    const auto query = reinterpret_cast<NtQuerySectionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySection")));
    SectionBasicInformation info{};
    if (query != nullptr && query(mapping, 0, &info, sizeof(info), nullptr) >= 0 &&
        info.size.QuadPart > 0) {
      return static_cast<unsigned long long>(info.size.QuadPart);
    }
  }
  MEMORY_BASIC_INFORMATION region{};
  if (view != nullptr && VirtualQuery(view, &region, sizeof(region)) == sizeof(region)) {
    return region.RegionSize;
  }
  return 0;
}

int CreateSharedBlock(HANDLE& mapping, ConfigBlock*& view) {
  mapping = nullptr;
  view = nullptr;
  PSECURITY_DESCRIPTOR descriptor = UserOnlyDescriptor();
  if (descriptor == nullptr) {
    Trace(u"The shared block's security could not be made; the block is not created\n");
    return 0;
  }
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof(attributes);
  attributes.lpSecurityDescriptor = descriptor;
  attributes.bInheritHandle = TRUE;
  // A mapping that exists already is opened instead (its own security kept).
  HANDLE handle = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                     static_cast<DWORD>(kConfigBlockSize), kShareDataName);
  LocalFree(descriptor);
  if (handle == nullptr) {
    Trace(u"The shared block could not be created\n");
    return 0;
  }
  void* mapped = MapViewOfFile(handle, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
  if (mapped == nullptr) {
    Trace(u"The shared block could not be mapped\n");
    CloseHandle(handle);
    return 0;
  }
  if (!SharedMappingHoldsBlock(SharedMappingSize(handle, mapped))) {
    Trace(u"The shared block exists with fewer than 84212 bytes; it is not used\n");
    UnmapViewOfFile(mapped);
    CloseHandle(handle);
    return 0;
  }
  mapping = handle;
  view = static_cast<ConfigBlock*>(mapped);
  return 1;
}

ShareCopy CopyUnderShareMutex(HANDLE shareMutex, ConfigBlock* to, const ConfigBlock* from,
                              ShareCopyDirection direction) {
  if (shareMutex == nullptr || to == nullptr || from == nullptr) return ShareCopy::kSkipped;
  const DWORD wait = WaitForSingleObject(shareMutex, kShareMutexWaitMs);
  ShareMutexWait result = ShareMutexWait::kFailed;
  if (wait == WAIT_OBJECT_0) {
    result = ShareMutexWait::kAcquired;
  } else if (wait == WAIT_ABANDONED) {
    result = ShareMutexWait::kAbandoned;
  } else if (wait == WAIT_TIMEOUT) {
    result = ShareMutexWait::kTimedOut;
  }
  const ShareMutexOutcome outcome = DecideShareMutexWait(result, direction);
  if (outcome.result == ShareCopy::kCopied) std::memcpy(to, from, kConfigBlockSize);
  if (outcome.release) ReleaseMutex(shareMutex);
  if (!outcome.trace.empty()) Trace(outcome.trace);
  return outcome.result;
}

}  // namespace torvo::win32
