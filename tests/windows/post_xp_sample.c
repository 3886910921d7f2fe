/* A program with the defects check-pe.sh must find: built for the console subsystem with
 * version 6.00 headers, it imports GetTickCount64 (Vista) and a DLL that XP lacks (dwmapi).
 * Never run; its check is expected to fail. */
#include <windows.h>

/* Declared here: the project's headers target XP, where these do not exist. */
__declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);
__declspec(dllimport) HRESULT WINAPI DwmIsCompositionEnabled(BOOL *enabled);

int main(void) {
  BOOL composed = FALSE;
  DwmIsCompositionEnabled(&composed);
  return (int)(GetTickCount64() & 1) + composed;
}
