# Packs the release:
# - mousecheck-<version>-windows-x86_64.zip: mousecheck.exe, mousecheck-summary.exe, README.txt
#   (the Windows user's parts of the documents) and LICENSE.txt, both with CRLF line ends;
# - mousecheck-<version>-linux-x86_64.tar.gz and mousecheck-<version>-linux-aarch64.tar.gz:
#   mousecheck and mousecheck-summary for that architecture, their manual pages mousecheck.1 and
#   mousecheck-summary.1, README.txt (the Linux user's parts) and LICENSE, in a folder of that
#   name.
# SHA256SUMS over every download comes last, from sha256sums.cmake.
# Fixed times, modes, owners and order, so the same commit gives the same bytes.
# Usage: cmake -DEXE=… -DSUMMARY_EXE=… -DLINUX_BINARY=… -DLINUX_SUMMARY=… -DLINUX_AARCH64_BINARY=…
#              -DLINUX_AARCH64_SUMMARY=… -DMAN_PAGE=… -DSUMMARY_MAN_PAGE=… -DSOURCE_DIR=…
#              -DOUTPUT_DIR=… -DVERSION=… -P package-release.cmake
cmake_minimum_required(VERSION 3.25)

set(mtime "2026-01-01 00:00:00 UTC")
include(${CMAKE_CURRENT_LIST_DIR}/readme-txt.cmake)

# Writes text to a file with CRLF line ends.
function(write_crlf path text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${path} "${text}")
endfunction()

# Makes a folder for an archive's files, empty.
function(stage name)
  file(REMOVE_RECURSE ${OUTPUT_DIR}/${name})
  file(MAKE_DIRECTORY ${OUTPUT_DIR}/${name})
endfunction()

# The zip. Info-ZIP with -X stores no owner ids and no access or change times; the DOS times it
# keeps are local, so it packs in UTC, from files whose modification time is fixed.
set(windows mousecheck-${VERSION}-windows-x86_64)
stage(${windows})
user_part(windows text)
write_crlf(${OUTPUT_DIR}/${windows}/README.txt "${text}")
file(READ ${SOURCE_DIR}/LICENSE license)
write_crlf(${OUTPUT_DIR}/${windows}/LICENSE.txt "${license}")
file(COPY_FILE ${EXE} ${OUTPUT_DIR}/${windows}/mousecheck.exe)
file(COPY_FILE ${SUMMARY_EXE} ${OUTPUT_DIR}/${windows}/mousecheck-summary.exe)
set(files mousecheck.exe mousecheck-summary.exe README.txt LICENSE.txt)
list(TRANSFORM files PREPEND ${OUTPUT_DIR}/${windows}/ OUTPUT_VARIABLE paths)
file(CHMOD ${paths} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
execute_process(
  COMMAND touch -d "${mtime}" ${files}
  COMMAND_ERROR_IS_FATAL ANY
  WORKING_DIRECTORY ${OUTPUT_DIR}/${windows})
file(REMOVE ${OUTPUT_DIR}/${windows}.zip)
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -D ${OUTPUT_DIR}/${windows}.zip ${files}
  COMMAND_ERROR_IS_FATAL ANY
  WORKING_DIRECTORY ${OUTPUT_DIR}/${windows})

# The tarballs, one for each architecture: GNU tar with the names sorted, owner and group root,
# every time fixed, and gzip without a name or a time of its own.
foreach(arch_binary "x86_64|${LINUX_BINARY}|${LINUX_SUMMARY}" "aarch64|${LINUX_AARCH64_BINARY}|${LINUX_AARCH64_SUMMARY}")
  string(REPLACE "|" ";" arch_binary "${arch_binary}")
  list(GET arch_binary 0 arch)
  list(GET arch_binary 1 binary)
  list(GET arch_binary 2 summary)
  set(linux mousecheck-${VERSION}-linux-${arch})
  stage(${linux})
  user_part(linux text)
  file(WRITE ${OUTPUT_DIR}/${linux}/README.txt "${text}")
  file(COPY_FILE ${SOURCE_DIR}/LICENSE ${OUTPUT_DIR}/${linux}/LICENSE)
  file(COPY_FILE ${binary} ${OUTPUT_DIR}/${linux}/mousecheck)
  file(COPY_FILE ${MAN_PAGE} ${OUTPUT_DIR}/${linux}/mousecheck.1)
  file(COPY_FILE ${summary} ${OUTPUT_DIR}/${linux}/mousecheck-summary)
  file(COPY_FILE ${SUMMARY_MAN_PAGE} ${OUTPUT_DIR}/${linux}/mousecheck-summary.1)
  file(CHMOD ${OUTPUT_DIR}/${linux}/README.txt ${OUTPUT_DIR}/${linux}/LICENSE ${OUTPUT_DIR}/${linux}/mousecheck.1
             ${OUTPUT_DIR}/${linux}/mousecheck-summary.1
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  file(CHMOD ${OUTPUT_DIR}/${linux} ${OUTPUT_DIR}/${linux}/mousecheck ${OUTPUT_DIR}/${linux}/mousecheck-summary
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                        WORLD_EXECUTE)
  execute_process(
    COMMAND tar --sort=name --owner=0 --group=0 --numeric-owner "--mtime=${mtime}" --format=gnu
            -cf - ${linux}
    COMMAND gzip -9 -n
    OUTPUT_FILE ${OUTPUT_DIR}/${linux}.tar.gz
    COMMAND_ERROR_IS_FATAL ANY
    WORKING_DIRECTORY ${OUTPUT_DIR})
endforeach()
