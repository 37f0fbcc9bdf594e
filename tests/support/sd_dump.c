/* sd_dump.exe PATH: prints the owner and the DACL of a file or folder as Windows reads them back
 * (GetFileSecurityW), in the security descriptor definition language, e.g.
 * "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)". Exit code 0, or the error of
 * the call that failed. The Wine tests use it to see what protection the program gave its
 * working folder. */
#include <windows.h>
/* after windows.h, which it needs */
#include <sddl.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fputs("usage: sd_dump PATH\n", stderr);
    return 87;
  }
  const SECURITY_INFORMATION info = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetFileSecurityW(argv[1], info, NULL, 0, &needed);
  if (needed == 0) return (int)GetLastError();
  PSECURITY_DESCRIPTOR sd = LocalAlloc(LPTR, needed);
  if (!sd || !GetFileSecurityW(argv[1], info, sd, needed, &needed)) return (int)GetLastError();
  LPWSTR text = NULL;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, info, &text,
                                                            NULL)) {
    return (int)GetLastError();
  }
  wprintf(L"%ls\n", text);
  LocalFree(text);
  LocalFree(sd);
  return 0;
}
