# cmake -DDIR=<dir> -P FreshDir.cmake: makes <dir> an empty directory holding
# an empty runtime directory <dir>/run of mode 0700 (the platform layer
# accepts no other mode for XDG_RUNTIME_DIR).
if(NOT DIR)
    message(FATAL_ERROR "DIR is not set")
endif()
file(REMOVE_RECURSE "${DIR}")
file(MAKE_DIRECTORY "${DIR}/run")
file(CHMOD "${DIR}/run" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
