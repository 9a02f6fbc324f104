# Checks a built executable for shipping: every DLL it imports is one that Windows itself provides
# (the C++ runtime, libgcc and winpthreads must be linked in, not beside it) and, with MAX_BYTES, it
# is no larger than that. Run as: cmake -DOBJDUMP=... -DEXE=... [-DMAX_BYTES=N] -P check_shipped_exe.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT OBJDUMP OR NOT EXE)
    message(FATAL_ERROR "OBJDUMP and EXE must be given")
endif()

# Libraries of the system (System32), case-insensitively; the api-ms-win-* sets are forwarders of it.
set(system_libraries
    advapi32 bcrypt cfgmgr32 comctl32 comdlg32 crypt32 gdi32 imm32 iphlpapi kernel32 msvcrt netapi32 ntdll
    ole32 oleaut32 psapi rpcrt4 secur32 setupapi shell32 shlwapi user32 userenv uxtheme version winhttp
    wininet winmm ws2_32 wtsapi32)

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE result ERROR_VARIABLE error)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed: ${error}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" imports "${dump}")
if(NOT imports)
    message(FATAL_ERROR "${EXE}: no import table found")
endif()
set(foreign "")
foreach(import IN LISTS imports)
    string(REGEX REPLACE "^DLL Name: " "" library "${import}")
    string(STRIP "${library}" library)
    string(TOLOWER "${library}" lower)
    string(REGEX REPLACE "\\.dll$" "" base "${lower}")
    if(NOT base IN_LIST system_libraries AND NOT base MATCHES "^api-ms-win-")
        list(APPEND foreign "${library}")
    endif()
endforeach()
if(foreign)
    message(FATAL_ERROR "${EXE} imports libraries that are not part of Windows: ${foreign}")
endif()

if(MAX_BYTES)
    file(SIZE ${EXE} size)
    if(size GREATER MAX_BYTES)
        message(FATAL_ERROR "${EXE} has ${size} bytes, more than ${MAX_BYTES}")
    endif()
    message(STATUS "${EXE}: ${size} bytes (at most ${MAX_BYTES})")
endif()
list(LENGTH imports count)
message(STATUS "${EXE}: ${count} imported libraries, all of the system")
