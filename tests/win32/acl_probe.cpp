// Prints the access list of a file in the system's text form (SDDL), so that the end-to-end
// test can read back what the lock tool wrote. Exit status 1 when it cannot be read.

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(argv[1], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    return 1;
  }
  wchar_t* text = nullptr;
  const BOOL converted = ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                                             DACL_SECURITY_INFORMATION, &text, nullptr);
  if (converted) std::wprintf(L"%ls\n", text);
  LocalFree(text);
  LocalFree(descriptor);
  return converted ? 0 : 1;
}
