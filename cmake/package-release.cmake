# Packs the release: mousecheck-<version>-windows-x86_64.zip holding mousecheck.exe, README.txt
# (the user's part of README.md) and LICENSE.txt, both with CRLF line ends, and SHA256SUMS over
# the exe and the zip. Fixed times, modes and order, so the same commit gives the same bytes.
# Usage: cmake -DEXE=… -DSOURCE_DIR=… -DOUTPUT_DIR=… -DVERSION=… -P package-release.cmake
cmake_minimum_required(VERSION 3.25)

set(name mousecheck-${VERSION}-windows-x86_64)
set(stage ${OUTPUT_DIR}/${name})
set(mtime "2026-01-01 00:00:00 UTC")
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})

# Writes text to a file with CRLF line ends.
function(write_crlf path text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${path} "${text}")
endfunction()

# README.txt: every part of README.md between a "README.txt begin" and a "README.txt end" marker.
file(READ ${SOURCE_DIR}/README.md readme)
set(user_part "")
while(readme MATCHES "<!-- README.txt begin -->\n(.*)")
  set(rest "${CMAKE_MATCH_1}")
  string(FIND "${rest}" "<!-- README.txt end -->" end)
  if(end EQUAL -1)
    message(FATAL_ERROR "README.md: a README.txt part has no end marker")
  endif()
  string(SUBSTRING "${rest}" 0 ${end} part)
  string(APPEND user_part "${part}")
  string(SUBSTRING "${rest}" ${end} -1 readme)
endwhile()
if(user_part STREQUAL "")
  message(FATAL_ERROR "README.md has no README.txt part")
endif()
# In plain ASCII, which a console's `type` shows right whatever its code page.
foreach(pair "…|..." "–|-" "—|--" "‘|'" "’|'" "“|\"" "”|\"" "×|x" "≤|<=" "≥|>=" "→|->" "≈|~")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  string(REPLACE "${from}" "${to}" user_part "${user_part}")
endforeach()
string(REGEX REPLACE "[\t\n -~]" "" not_ascii "${user_part}")
if(NOT not_ascii STREQUAL "")
  message(FATAL_ERROR "README.md: the README.txt part has characters beyond ASCII: ${not_ascii}")
endif()
write_crlf(${stage}/README.txt "${user_part}")
file(READ ${SOURCE_DIR}/LICENSE license)
write_crlf(${stage}/LICENSE.txt "${license}")
file(COPY_FILE ${EXE} ${stage}/mousecheck.exe)
file(CHMOD ${stage}/mousecheck.exe ${stage}/README.txt ${stage}/LICENSE.txt
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Info-ZIP with -X stores no owner ids and no access or change times; the DOS times it keeps are
# local, so it packs in UTC, from files whose modification time is fixed.
set(zip ${OUTPUT_DIR}/${name}.zip)
file(REMOVE ${zip})
set(files mousecheck.exe README.txt LICENSE.txt)
execute_process(
  COMMAND touch -d "${mtime}" ${files}
  COMMAND_ERROR_IS_FATAL ANY
  WORKING_DIRECTORY ${stage})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -D ${zip} ${files}
  COMMAND_ERROR_IS_FATAL ANY
  WORKING_DIRECTORY ${stage})

file(SHA256 ${EXE} exe_hash)
file(SHA256 ${zip} zip_hash)
get_filename_component(exe_name ${EXE} NAME)
file(WRITE ${OUTPUT_DIR}/SHA256SUMS "${exe_hash}  ${exe_name}\n${zip_hash}  ${name}.zip\n")
