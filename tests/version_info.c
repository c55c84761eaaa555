/* Prints the version resource of a program or DLL as Windows reads it
 * (GetFileVersionInfoA), one "Key=value" line per item: the fixed file and
 * product versions, then the US English strings.
 * Usage: version_info FILE */
#include <stdio.h>
#include <windows.h>

static const char* const kStrings[] = {"CompanyName",  "FileDescription", "FileVersion",
                                       "InternalName", "LegalCopyright",  "OriginalFilename",
                                       "ProductName",  "ProductVersion"};

static void PrintVersion(const char* key, DWORD high, DWORD low) {
  printf("%s=%u.%u.%u.%u\n", key, (unsigned)HIWORD(high), (unsigned)LOWORD(high),
         (unsigned)HIWORD(low), (unsigned)LOWORD(low));
}

int main(int argc, char** argv) {
  DWORD ignored = 0;
  DWORD size = argc == 2 ? GetFileVersionInfoSizeA(argv[1], &ignored) : 0;
  static char data[65536];
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  size_t i;
  if (size == 0 || size > sizeof data || !GetFileVersionInfoA(argv[1], 0, size, data) ||
      !VerQueryValueA(data, "\\", (void**)&fixed, &length) || length < sizeof *fixed) {
    fprintf(stderr, "no version resource in %s\n", argc == 2 ? argv[1] : "(none)");
    return 1;
  }
  PrintVersion("FixedFileVersion", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
  PrintVersion("FixedProductVersion", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  printf("FileType=%s\n", fixed->dwFileType == VFT_DLL   ? "dll"
                          : fixed->dwFileType == VFT_APP ? "app"
                                                         : "other");
  for (i = 0; i < sizeof kStrings / sizeof kStrings[0]; ++i) {
    char key[64];
    char* value = NULL;
    snprintf(key, sizeof key, "\\StringFileInfo\\040904B0\\%s", kStrings[i]);
    if (VerQueryValueA(data, key, (void**)&value, &length) && length > 0) {
      printf("%s=%s\n", kStrings[i], value);
    }
  }
  return 0;
}
