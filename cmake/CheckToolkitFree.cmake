# cmake -DFILES=<a;b;...> -DSTAMP=<file> -P CheckToolkitFree.cmake
# Fails when one of FILES includes a Qt header (<QWidget>, <QtCore/...>) or a
# Windows one (<windows.h>, <commctrl.h>, ...); touches STAMP otherwise.
set(windows_headers "windows|windef|winbase|winuser|wingdi|winreg|winnt|winerror|commctrl|commdlg|shellapi|shlobj|shlwapi|objbase|ole2|dnsapi|aclapi|sddl|lmcons")
set(found "")
foreach(file IN LISTS FILES)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    # Windows header names are matched in any case, as Windows finds them.
    string(TOLOWER "${line}" lower)
    if(line MATCHES "include[ \t]*[<\"](Q[A-Z][A-Za-z]*|Qt[A-Za-z]*/)"
       OR lower MATCHES "include[ \t]*[<\"](${windows_headers})\\.h[>\"]")
      string(APPEND found "\n  ${file}: ${line}")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "src/forms must not include a toolkit header:${found}")
endif()
file(TOUCH ${STAMP})
