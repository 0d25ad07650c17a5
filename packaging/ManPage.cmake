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
get_filename_component(out_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
string(REGEX REPLACE "\\.gz$" "" plain "${OUTPUT}")
file(WRITE "${plain}" "${page}")
execute_process(COMMAND "${GZIP}" -9nf "${plain}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${plain} failed")
endif()
