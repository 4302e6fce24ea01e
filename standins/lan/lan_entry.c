/* The language library holds only resources; its entry point does nothing. */
#include <windows.h>

BOOL WINAPI LanEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
