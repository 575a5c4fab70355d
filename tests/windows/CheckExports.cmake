# Reads a DLL's import and export tables with objdump and fails unless it
# imports from system DLLs only (exactly the given ones, when given) and
# exports exactly the given names, all at one address.
#   cmake -DOBJDUMP=... -DDLL=... -DEXPORTS="A;B" [-DIMPORTS="x.dll;y.dll"] -P CheckExports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump -p ${DLL} failed")
endif()
# Square brackets would confuse CMake's list splitting.
string(REPLACE "[" "<" dump "${dump}")
string(REPLACE "]" ">" dump "${dump}")

# What every Windows installation has. A mingw runtime DLL (libstdc++-6,
# libgcc_s_seh-1, libwinpthread-1) would have to ship beside the plug-in.
set(systemDlls
  kernel32 user32 gdi32 gdiplus ole32 oleaut32 advapi32 shell32 comdlg32 winmm msvcrt ucrtbase)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" importLines "${dump}")
set(imports)
foreach(line IN LISTS importLines)
  string(REGEX REPLACE "DLL Name: " "" name "${line}")
  string(STRIP "${name}" name)
  list(APPEND imports ${name})
  string(TOLOWER "${name}" lower)
  string(REGEX REPLACE "\\.dll$" "" base "${lower}")
  if(NOT base IN_LIST systemDlls AND NOT base MATCHES "^api-ms-win-")
    message(SEND_ERROR "${DLL} imports ${name}, which is not a system DLL")
  endif()
endforeach()
message(STATUS "imports: ${imports}")
# With IMPORTS given, exactly those DLLs (in any letter case): a new one, or
# one that went missing, is a change to look at.
if(DEFINED IMPORTS)
  string(TOLOWER "${imports}" actual)
  string(TOLOWER "${IMPORTS}" wanted)
  list(SORT actual)
  list(SORT wanted)
  if(NOT actual STREQUAL wanted)
    message(SEND_ERROR "${DLL} imports [${imports}], expected [${IMPORTS}]")
  endif()
endif()

# The name table of the export directory: "[   n] name" lines after its heading.
string(FIND "${dump}" "<Ordinal/Name Pointer> Table" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${DLL} has no export name table")
endif()
string(SUBSTRING "${dump}" ${at} -1 tail)
string(REGEX MATCH "Table[\r\n]+(\t< *[0-9]+> [^\r\n]+[\r\n]+)+" table "${tail}")
string(REGEX REPLACE "\t< *[0-9]+> ([^\r\n]+)" "\\1" table "${table}")
string(REGEX MATCHALL "[^\r\n]+" names "${table}")
list(REMOVE_AT names 0)
list(SORT names)
set(expected ${EXPORTS})
list(SORT expected)
message(STATUS "exports: ${names}")
if(NOT names STREQUAL expected)
  message(SEND_ERROR "${DLL} exports [${names}], expected [${expected}]")
endif()

# One body under every name: every entry of the address table is the same RVA.
string(REGEX MATCHALL "\\+base< *[0-9]+> +[0-9a-fA-F]+ Export RVA" rvaLines "${dump}")
set(rvas)
foreach(line IN LISTS rvaLines)
  string(REGEX REPLACE ".*> +([0-9a-fA-F]+) Export RVA" "\\1" rva "${line}")
  list(APPEND rvas ${rva})
endforeach()
list(REMOVE_DUPLICATES rvas)
list(LENGTH rvas distinct)
if(NOT distinct EQUAL 1)
  message(SEND_ERROR "${DLL} exports ${distinct} different addresses (${rvas}), expected one")
endif()
