# Checks a release exe: at most 64 KiB (or MAX_BYTES), importing nothing but the system's own
# DLLs, and marked Terminal Server aware.
# Usage: cmake -DEXE=… -DOBJDUMP=… [-DMAX_BYTES=…] -P check-release-exe.cmake
cmake_minimum_required(VERSION 3.25)

# MAX_BYTES, when given, for another program than the monitor.
set(max_bytes 65536)
if(DEFINED MAX_BYTES)
  set(max_bytes ${MAX_BYTES})
endif()
set(system_dlls KERNEL32.dll USER32.dll msvcrt.dll)

file(SIZE ${EXE} bytes)
if(bytes GREATER max_bytes)
  message(FATAL_ERROR "${EXE}: ${bytes} bytes, more than ${max_bytes}")
endif()

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers COMMAND_ERROR_IS_FATAL ANY)
if(NOT headers MATCHES "TERMINAL_SERVICE_AWARE")
  message(FATAL_ERROR "${EXE} is not marked Terminal Server aware")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
if(NOT imports)
  message(FATAL_ERROR "${EXE}: no imports found")
endif()
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "${EXE} imports ${dll}, which is not one of: ${system_dlls}")
  endif()
endforeach()
message(STATUS "${EXE}: ${bytes} bytes; imports ${imports}")
