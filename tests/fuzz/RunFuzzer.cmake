# Runs one fuzz target for CTest: first every seed once, then a bounded run that starts from the
# seeds and writes new inputs and crash files under WORK.
#   cmake -DFUZZER=exe -DSEEDS=dir -DWORK=dir -DSECONDS=n -P RunFuzzer.cmake
file(GLOB seeds LIST_DIRECTORIES false "${SEEDS}/*")
if(NOT seeds)
  message(FATAL_ERROR "no seeds in ${SEEDS}")
endif()
list(LENGTH seeds count)
message(STATUS "replaying ${count} seeds")
execute_process(COMMAND "${FUZZER}" ${seeds} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "a seed failed (exit status ${status})")
endif()

file(REMOVE_RECURSE "${WORK}/short-run")
file(MAKE_DIRECTORY "${WORK}/short-run" "${WORK}/crashes")
execute_process(COMMAND "${FUZZER}" -max_total_time=${SECONDS} -rss_limit_mb=2048 -timeout=10
                        -print_final_stats=1 "-artifact_prefix=${WORK}/crashes/"
                        "${WORK}/short-run" "${SEEDS}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the fuzzer found a failing input (exit status ${status}); see ${WORK}/crashes")
endif()
