# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the command-line tool once and checks what it did.
#   TOOL         the program
#   ARGS         its arguments, separated by "@@"
#   EXIT         the exit code it must give
#   MATCH        regular expressions its output must match, separated by "@@"
#   NOMATCH      regular expressions its output must not match
#   SAME         two files that must be byte for byte equal afterwards ("A@@B")
#   CONFIG_HOME  the user configuration folder it sees (emptied first), so that
#                the settings of whoever runs the tests play no part
#   PORTS        "COMn=TEXT" override entries for its ports folder, "@@"-separated
#   SETTINGS     lines of the window's settings.ini, "@@"-separated (none: no file)
cmake_minimum_required(VERSION 3.22)

function(split out text)
  if(text STREQUAL "")
    set(${out} "" PARENT_SCOPE)
  else()
    string(REPLACE "@@" ";" parts "${text}")
    set(${out} "${parts}" PARENT_SCOPE)
  endif()
endfunction()

split(args "${ARGS}")
split(matches "${MATCH}")
split(nomatches "${NOMATCH}")
split(same "${SAME}")
split(ports "${PORTS}")
split(settings_lines "${SETTINGS}")

file(REMOVE_RECURSE "${CONFIG_HOME}")
file(MAKE_DIRECTORY "${CONFIG_HOME}/Tavrelix Corvanel/ports")
foreach(entry IN LISTS ports)
  string(REGEX REPLACE "=.*" "" name "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" text "${entry}")
  file(WRITE "${CONFIG_HOME}/Tavrelix Corvanel/ports/${name}" "${text}\n")
endforeach()
set(settings_file "${CONFIG_HOME}/Tavrelix Corvanel/settings.ini")
if(settings_lines)
  string(REPLACE ";" "\n" settings_text "${settings_lines}")
  file(WRITE "${settings_file}" "${settings_text}\n")
endif()
set(ENV{XDG_CONFIG_HOME} "${CONFIG_HOME}")

execute_process(COMMAND "${TOOL}" ${args}
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message(STATUS "corvanel ${args}\n${output}${errors}")
if(NOT result STREQUAL "${EXIT}")
  message(FATAL_ERROR "exit code ${result}, expected ${EXIT}")
endif()
foreach(pattern IN LISTS matches)
  if(NOT "${output}${errors}" MATCHES "${pattern}")
    message(FATAL_ERROR "output does not match: ${pattern}")
  endif()
endforeach()
foreach(pattern IN LISTS nomatches)
  if("${output}${errors}" MATCHES "${pattern}")
    message(FATAL_ERROR "output matches what it must not: ${pattern}")
  endif()
endforeach()
if(same)
  list(GET same 0 first)
  list(GET same 1 second)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${first}" "${second}"
    RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${first} and ${second} differ")
  endif()
endif()
# The tool reads the window's settings and must never write them.
if(settings_lines)
  file(READ "${settings_file}" after)
  if(NOT after STREQUAL "${settings_text}\n")
    message(FATAL_ERROR "the tool changed the settings file")
  endif()
elseif(EXISTS "${settings_file}")
  message(FATAL_ERROR "the tool wrote the settings file")
endif()
