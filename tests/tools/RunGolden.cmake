# Runs the morval command once and compares what it did (exit code, standard
# output, standard error) with a golden file. With the environment variable
# KORVANE_REGEN_GOLDEN set, the golden file is written instead, to be reviewed
# as a diff.
#
# Variables: MORVAL (the program), ARGS (its arguments, a list), WORKDIR
# (where it runs), GOLDEN (the golden file), ACTUAL (where a differing result
# is left for inspection).
execute_process(
    COMMAND ${MORVAL} ${ARGS}
    WORKING_DIRECTORY ${WORKDIR}
    OUTPUT_VARIABLE out
    ERROR_VARIABLE err
    RESULT_VARIABLE rc)
set(actual "== exit ==\n${rc}\n== stdout ==\n${out}== stderr ==\n${err}")
if(DEFINED ENV{KORVANE_REGEN_GOLDEN})
    file(WRITE ${GOLDEN} "${actual}")
    message(STATUS "wrote ${GOLDEN}")
    return()
endif()
if(NOT EXISTS ${GOLDEN})
    file(WRITE ${ACTUAL} "${actual}")
    message(FATAL_ERROR "no golden file ${GOLDEN}; the result is in ${ACTUAL}")
endif()
file(READ ${GOLDEN} expected)
if(NOT actual STREQUAL expected)
    file(WRITE ${ACTUAL} "${actual}")
    message(FATAL_ERROR "differs from ${GOLDEN}; see: diff -u ${GOLDEN} ${ACTUAL}")
endif()
