# Cuts a README.txt for one platform from the parts of the documents marked for it. Included by
# package-release.cmake; run alone, it writes one:
#   cmake -DSOURCE_DIR=… -DPLATFORM=windows|linux -DOUTPUT=…/README.txt -P readme-txt.cmake
# (LF line ends; the zip's copy gets CRLF from package-release.cmake).
cmake_minimum_required(VERSION 3.25)

# The documents a README.txt is cut from, in its order.
set(readme_documents README.md docs/reading.md docs/windows.md docs/linux.md)

# Sets out to the line TEXT followed by a line of CHAR as long as it: a heading in plain text.
function(underline text char out)
  string(LENGTH "${text}" length)
  string(REPEAT "${char}" ${length} rule)
  set(${out} "${text}\n${rule}" PARENT_SCOPE)
endfunction()

# Sets out to Markdown TEXT as a plain viewer should show it: "## Heading" underlined with "=",
# "### Heading" with "-", links as their text, no backticks and no "**". A parenthesis of links
# whose texts hold no quote, as after '"Keeping a log"' in '"Keeping a log" ([Windows](…),
# [Linux](…))', is left out: it points into the Markdown files, and the quoted name of the
# section is what a README.txt reader looks for. Such a parenthesis stays on one Markdown line.
function(plain_text text out)
  string(REGEX REPLACE " \\((\\[[^]\"\n]*\\]\\([^)\n]*\\)(, )?)+\\)" "" text "${text}")
  string(REGEX REPLACE "\\[([^]]*)\\]\\([^)]*\\)" "\\1" text "${text}")
  string(REPLACE "`" "" text "${text}")
  string(REPLACE "**" "" text "${text}")
  # From the last heading back to the first: a list of lines would split at every ";".
  set(result "")
  set(rest "\n${text}")
  while(rest MATCHES "^(.*)\n(##+) ([^\n]*)(.*)$")
    set(rest "${CMAKE_MATCH_1}")
    set(tail "${CMAKE_MATCH_4}")
    if(CMAKE_MATCH_2 STREQUAL "##")
      underline("${CMAKE_MATCH_3}" "=" heading)
    else()
      underline("${CMAKE_MATCH_3}" "-" heading)
    endif()
    set(result "\n${heading}${tail}${result}")
  endwhile()
  string(REGEX REPLACE "^\n" "" result "${rest}${result}")
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# Sets out to the parts of the documents marked for the platform, between
# "<!-- README.txt begin: PLATFORMS -->" and "<!-- README.txt end -->", in plain ASCII, which a
# console shows right whatever its code page.
function(user_part platform out)
  set(text "")
  foreach(document IN LISTS readme_documents)
    if(NOT EXISTS ${SOURCE_DIR}/${document})
      continue()
    endif()
    file(READ ${SOURCE_DIR}/${document} rest)
    while(rest MATCHES "<!-- README.txt begin: ([a-z ]+) -->\n(.*)")
      set(platforms "${CMAKE_MATCH_1}")
      set(rest "${CMAKE_MATCH_2}")
      string(FIND "${rest}" "<!-- README.txt end -->" end)
      if(end EQUAL -1)
        message(FATAL_ERROR "${document}: a README.txt part has no end marker")
      endif()
      string(SUBSTRING "${rest}" 0 ${end} part)
      string(SUBSTRING "${rest}" ${end} -1 rest)
      separate_arguments(platforms)
      if(platform IN_LIST platforms)
        string(REGEX REPLACE "\n+$" "" part "${part}")
        string(APPEND text "${part}\n\n")  # one blank line between parts
      endif()
    endwhile()
  endforeach()
  if(text STREQUAL "")
    message(FATAL_ERROR "no README.txt part for ${platform}")
  endif()
  string(REGEX REPLACE "\n+$" "\n" text "${text}")
  plain_text("${text}" text)
  file(STRINGS ${SOURCE_DIR}/CMakeLists.txt project REGEX "^project\\(mousecheck VERSION ")
  string(REGEX REPLACE ".* VERSION ([0-9.]+).*" "\\1" version "${project}")
  set(title_windows "Windows")
  set(title_linux "Linux")
  set(title "mousecheck ${version} for ${title_${platform}}")
  underline("${title}" "=" title)
  set(text "${title}\n\n${text}")
  foreach(pair "…|..." "–|-" "—|--" "‘|'" "’|'" "“|\"" "”|\"" "×|x" "≤|<=" "≥|>=" "→|->" "≈|~")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 from)
    list(GET pair 1 to)
    string(REPLACE "${from}" "${to}" text "${text}")
  endforeach()
  string(REGEX REPLACE "[\t\n -~]" "" not_ascii "${text}")
  if(NOT not_ascii STREQUAL "")
    message(FATAL_ERROR "the README.txt part for ${platform} has characters beyond ASCII: ${not_ascii}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  user_part(${PLATFORM} text)
  file(WRITE ${OUTPUT} "${text}")
endif()
