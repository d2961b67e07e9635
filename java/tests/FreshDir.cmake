# cmake -DDIR=<dir> -DRUN=<runtime dir> -P FreshDir.cmake: makes <dir> an
# empty directory and <RUN> an empty runtime directory of mode 0700 (the
# platform layer accepts no other mode for XDG_RUNTIME_DIR).
foreach(var DIR RUN)
    if(NOT ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()
file(REMOVE_RECURSE "${DIR}" "${RUN}")
file(MAKE_DIRECTORY "${DIR}" "${RUN}")
file(CHMOD "${RUN}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
