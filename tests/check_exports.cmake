# Checks that a built library exports exactly the eleven functions, the
# transaction pair and the group functions under their plain names, and (for a DLL) needs no MinGW
# runtime DLL.
# Run with -DLIBRARY=... -DTOOL=... -DKIND=elf|pe
set(expected OvelAddItem OvelDeleteViewItem OvelExpandGroup OvelFreeGroup OvelFreeItem
    OvelFreeView OvelGetViewCount OvelGetViewItem OvelInitView OvelInitialize OvelTerminate
    OvelBeginChanges OvelEndChanges OvelAddGroup OvelAddGroupMember OvelRemoveGroupMember)
if(KIND STREQUAL "elf")
  execute_process(COMMAND ${TOOL} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE out
                  RESULT_VARIABLE rc)
  string(REGEX MATCHALL "[0-9a-f]+ [TDBRVW] [^\n]+" lines "${out}")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-f]+ [TDBRVW] ([^@\n]+).*$" "\\1" name "${line}")
    list(APPEND names ${name})
  endforeach()
  # The version script's node is an absolute symbol, not a function.
  list(REMOVE_ITEM names "")
else()
  execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  string(REGEX MATCH "Ordinal/Name Pointer\\] Table\n(([^\n]+\n)+)" table "${out}")
  # Brackets would confuse CMake's list splitting: drop "[   n] " first.
  string(REGEX REPLACE "[ \t]*\\[ *[0-9]+\\] " "" table "${CMAKE_MATCH_1}")
  string(REGEX MATCHALL "[^\n]+" names "${table}")
  string(REGEX MATCHALL "DLL Name: [^\n]+" dlls "${out}")
  foreach(dll IN LISTS dlls)
    string(TOLOWER "${dll}" dll)
    if(dll MATCHES "libgcc|libstdc|libwinpthread|mingw")
      message(FATAL_ERROR "${LIBRARY} needs a MinGW runtime DLL: ${dll}")
    endif()
  endforeach()
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} failed on ${LIBRARY}")
endif()
list(SORT names)
list(SORT expected)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${LIBRARY} exports:\n  ${names}\nexpected:\n  ${expected}")
endif()
message(STATUS "${LIBRARY}: exactly the thirteen functions, plain names")
