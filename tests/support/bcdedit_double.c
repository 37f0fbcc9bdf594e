/* A stand-in for bcdedit.exe in a Wine prefix, so the Wine tests can see which boot-configuration
 * commands Kestrune.exe ran and what state they would leave behind.
 *
 * Every call appends its whole command line (UTF-8) as one line to C:\bcdedit_record.txt; the
 * 32-bit build writes C:\bcdedit_record32.txt instead, so that a test that puts it into SysWOW64
 * sees a call that reached the 32-bit system folder instead of the real one.
 * C:\bcdedit_store.txt keeps the elements set so far, one "NAME=VALUE" line each (NAME is
 * "{id} element" when an identifier is given, else the bare element):
 *   /set [{id}] ELEMENT VALUE   sets the element                              exit 0
 *   /deletevalue [{id}] ELEMENT removes it; like the real tool, exit 1 when it is absent
 *   /export FILE                creates FILE                                  exit 0 (1 if not)
 *   /enum [{current}]           lists the bare elements as "name  value"      exit 0
 *   anything else               only recorded                                 exit 0
 * A line "VERB ELEMENT" in C:\bcdedit_fail.txt (e.g. "deletevalue safeboot") makes that command
 * fail with exit 1 and change nothing, as a refused store would.
 * It is written in C so the native build (which turns every C++ file of a test folder into a
 * test program) leaves it alone; only the Windows build makes it. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>

#ifdef _WIN64
#define kRecordFile L"C:\\bcdedit_record.txt"
#else
#define kRecordFile L"C:\\bcdedit_record32.txt"
#endif
#define kStoreFile L"C:\\bcdedit_store.txt"
#define kFailFile L"C:\\bcdedit_fail.txt"
#define kMaxElements 64
#define kMaxText 512

typedef struct {
  wchar_t name[kMaxText];
  wchar_t value[kMaxText];
} Element;

static Element g_store[kMaxElements];
static int g_count;

/* Appends TEXT plus CR LF to FILE as UTF-8; a failure is reported on stderr (the test then
 * finds the line missing). */
static void AppendLine(const wchar_t* file, const wchar_t* text) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
  char* utf8 = (char*)malloc((size_t)bytes + 2);
  FILE* f;
  if (!utf8) return;
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, bytes, NULL, NULL);
  f = _wfopen(file, L"ab");
  if (!f) {
    fwprintf(stderr, L"bcdedit double: cannot open %ls\n", file);
    free(utf8);
    return;
  }
  fputs(utf8, f);
  fputs("\r\n", f);
  fclose(f);
  free(utf8);
}

/* The store is plain UTF-8 without a byte-order mark, CR LF lines, so the test reads it as is. */
static void LoadStore(void) {
  FILE* f = _wfopen(kStoreFile, L"rb");
  char bytes[4 * kMaxText];
  wchar_t line[2 * kMaxText + 2];
  g_count = 0;
  if (!f) return;
  while (g_count < kMaxElements && fgets(bytes, (int)sizeof bytes, f)) {
    wchar_t* eq;
    size_t n;
    if (!MultiByteToWideChar(CP_UTF8, 0, bytes, -1, line, 2 * kMaxText + 2)) continue;
    n = wcslen(line);
    while (n > 0 && (line[n - 1] == L'\n' || line[n - 1] == L'\r')) line[--n] = 0;
    eq = wcschr(line, L'=');
    if (!eq) continue;
    *eq = 0;
    wcsncpy(g_store[g_count].name, line, kMaxText - 1);
    wcsncpy(g_store[g_count].value, eq + 1, kMaxText - 1);
    ++g_count;
  }
  fclose(f);
}

static int SaveStore(void) {
  FILE* f = _wfopen(kStoreFile, L"wb");
  wchar_t line[2 * kMaxText + 2];
  char bytes[4 * kMaxText + 8];
  int i;
  if (!f) return 0;
  for (i = 0; i < g_count; ++i) {
    _snwprintf(line, 2 * kMaxText + 1, L"%ls=%ls\r\n", g_store[i].name, g_store[i].value);
    line[2 * kMaxText + 1] = 0;
    if (WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, (int)sizeof bytes, NULL, NULL))
      fputs(bytes, f);
  }
  fclose(f);
  return 1;
}

static int Find(const wchar_t* name) {
  int i;
  for (i = 0; i < g_count; ++i)
    if (_wcsicmp(g_store[i].name, name) == 0) return i;
  return -1;
}

/* The element name of "/set|/deletevalue [{id}] ELEMENT ...": args from FIRST on. Returns how
 * many arguments the name took (1 or 2), 0 when there is none. */
static int ElementName(int argc, wchar_t** argv, int first, wchar_t* name) {
  if (first >= argc) return 0;
  if (argv[first][0] == L'{') {
    if (first + 1 >= argc) return 0;
    _snwprintf(name, kMaxText - 1, L"%ls %ls", argv[first], argv[first + 1]);
    name[kMaxText - 1] = 0;
    return 2;
  }
  wcsncpy(name, argv[first], kMaxText - 1);
  name[kMaxText - 1] = 0;
  return 1;
}

/* True when C:\bcdedit_fail.txt names VERB (without its "/") and ELEMENT on one line. */
static int Refused(const wchar_t* verb, const wchar_t* element) {
  char line[kMaxText];
  char wanted[kMaxText];
  FILE* f = _wfopen(kFailFile, L"rb");
  int refused = 0;
  if (!f) return 0;
  _snprintf(wanted, kMaxText - 1, "%ls %ls", verb + 1, element);
  wanted[kMaxText - 1] = 0;
  while (!refused && fgets(line, kMaxText, f)) {
    line[strcspn(line, "\r\n")] = 0;
    refused = _stricmp(line, wanted) == 0;
  }
  fclose(f);
  return refused;
}

int wmain(int argc, wchar_t** argv) {
  wchar_t name[kMaxText] = {0};
  int used;
  AppendLine(kRecordFile, GetCommandLineW());
  if (argc < 2) return 0;
  LoadStore();

  if (_wcsicmp(argv[1], L"/set") == 0) {
    int at;
    used = ElementName(argc, argv, 2, name);
    if (used == 0 || 2 + used >= argc) return 1;
    if (Refused(argv[1], name)) return 1;
    at = Find(name);
    if (at < 0) {
      if (g_count >= kMaxElements) return 1;
      at = g_count++;
      wcsncpy(g_store[at].name, name, kMaxText - 1);
    }
    wcsncpy(g_store[at].value, argv[2 + used], kMaxText - 1);
    return SaveStore() ? 0 : 1;
  }

  if (_wcsicmp(argv[1], L"/deletevalue") == 0) {
    int at;
    used = ElementName(argc, argv, 2, name);
    if (used == 0) return 1;
    if (Refused(argv[1], name)) return 1;
    at = Find(name);
    if (at < 0) return 1;
    g_store[at] = g_store[--g_count];
    return SaveStore() ? 0 : 1;
  }

  if (_wcsicmp(argv[1], L"/enum") == 0) {
    int i;
    printf("Windows Boot Loader\r\n-------------------\r\nidentifier              {current}\r\n");
    for (i = 0; i < g_count; ++i) {
      if (g_store[i].name[0] == L'{') continue;
      printf("%-24ls%ls\r\n", g_store[i].name, g_store[i].value);
    }
    return 0;
  }

  if (_wcsicmp(argv[1], L"/export") == 0) {
    FILE* f;
    if (argc < 3) return 1;
    f = _wfopen(argv[2], L"wb");
    if (!f) return 1;
    fputs("bcd backup made by the bcdedit double\r\n", f);
    fclose(f);
    return 0;
  }
  return 0;
}
