# Writes the gzipped man page of PROGRAM from its --help (cmake -P). The program runs by its bare
# name from its own folder, so the page shows the name as a user types it, and with no display,
# as a build machine has none.
foreach(var HELP2MAN GZIP PROGRAM SUMMARY VERSION INCLUDE OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ManPage.cmake needs ${var}")
  endif()
endforeach()
get_filename_component(dir "${PROGRAM}" DIRECTORY)
get_filename_component(name "${PROGRAM}" NAME)
set(ENV{PATH} "${dir}:$ENV{PATH}")
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
unset(ENV{QT_QPA_PLATFORM})
execute_process(
  COMMAND "${HELP2MAN}" --no-info --no-discard-stderr --section=1 "--version-string=${VERSION}"
          "--source=1-WIRE-TARVIK ${VERSION}" "--manual=User Commands" "--name=${SUMMARY}"
          "--include=${INCLUDE}" "${name}"
  OUTPUT_VARIABLE page
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man ${name}: ${errors}")
endif()
# A page without the program's options means --help did not answer as it should.
if(NOT page MATCHES "\\.SH OPTIONS|-\\\\-help")
  message(FATAL_ERROR "help2man ${name}: no options in the page")
endif()

# Text of --help as troff: backslashes and hyphens escaped, a line never starting a request.
function(troff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# One command's part of the COMMANDS section: its name as the heading, its synopsis, then what
# it does.
macro(append_command)
  if(NOT command STREQUAL "")
    troff_text(heading "${command}")
    troff_text(synopsis "${synopsis}")
    troff_text(description "${description}")
    string(APPEND section ".SS \"${heading}\"\n.nf\n\\fBtarvik\\-cli\\fR [OPTIONS] ${synopsis}\n.fi\n${description}")
  endif()
endmacro()

# A program with commands (the entries under "Commands:" in its --help: a line two spaces in
# starts one, its description stands from column 36, a line less deep goes on with its
# synopsis) gets a COMMANDS section with a heading of its own for each command, in place of the
# list help2man makes of them.
execute_process(COMMAND "${name}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
string(FIND "${help}" "\nCommands:\n" at)
string(FIND "${page}" ".SS \"Commands:\"\n" page_at)
string(FIND "${page}" "\n.PP\nExit codes" page_end)
if(status EQUAL 0 AND at GREATER -1 AND page_at GREATER -1 AND page_end GREATER page_at)
  math(EXPR at "${at} + 11")
  string(SUBSTRING "${help}" ${at} -1 rest)
  string(FIND "${rest}" "\n\n" end)
  string(SUBSTRING "${rest}" 0 ${end} rest)
  string(APPEND rest "\n")
  set(section ".SH COMMANDS\n")
  set(command "")
  string(LENGTH "${rest}" left)
  while(left GREATER 0)
    string(FIND "${rest}" "\n" nl)
    string(SUBSTRING "${rest}" 0 ${nl} line)
    math(EXPR nl "${nl} + 1")
    string(SUBSTRING "${rest}" ${nl} -1 rest)
    string(LENGTH "${rest}" left)
    if(line MATCHES "^  [^ ]")
      append_command()
      string(REGEX MATCH "^  ([^ ]+)" _ "${line}")
      set(command "${CMAKE_MATCH_1}")
      set(description "")
      # Characters 34 and 35 blank and 36 not: the description begins on this line.
      if(line MATCHES "^..................................  [^ ]")
        string(SUBSTRING "${line}" 2 34 synopsis)
        string(SUBSTRING "${line}" 36 -1 description)
        string(APPEND description "\n")
      else()
        string(SUBSTRING "${line}" 2 -1 synopsis)
      endif()
      string(STRIP "${synopsis}" synopsis)
    elseif(line MATCHES "^                                    ")
      string(SUBSTRING "${line}" 36 -1 more)
      string(APPEND description "${more}\n")
    else()
      string(STRIP "${line}" more)
      string(APPEND synopsis "\n${more}")
    endif()
  endwhile()
  append_command()
  string(SUBSTRING "${page}" 0 ${page_at} before)
  math(EXPR page_end "${page_end} + 5")
  string(SUBSTRING "${page}" ${page_end} -1 after)
  set(page "${before}${section}.SH \"EXIT STATUS\"\n${after}")
endif()

get_filename_component(out_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
string(REGEX REPLACE "\\.gz$" "" plain "${OUTPUT}")
file(WRITE "${plain}" "${page}")
execute_process(COMMAND "${GZIP}" -9nf "${plain}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${plain} failed")
endif()
