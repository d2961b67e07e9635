# cmake -DDIR=<dir> -DRUN=<runtime dir> -DPLANT=<example plant>
#       -DPROGRAM=<varsvc> -DLIBS=<lib dir> -P KorvaneInstall.cmake
# Makes <dir> a fresh install tree for the KorvaneJni tests: <dir>/plant is a
# copy of the example plant with the server program in plant/bin and links
# to the built libraries in plant/lib (where its run path looks), <RUN> an
# empty runtime directory of mode 0700 and <dir>/tmp the TEMP directory.
# No registry store exists yet: the tests register the server themselves.
foreach(var DIR RUN PLANT PROGRAM LIBS)
    if(NOT ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()
file(REMOVE_RECURSE "${DIR}" "${RUN}")
file(MAKE_DIRECTORY "${RUN}" "${DIR}/tmp")
file(CHMOD "${RUN}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(COPY "${PLANT}/" DESTINATION "${DIR}/plant")
file(MAKE_DIRECTORY "${DIR}/plant/bin" "${DIR}/plant/lib")
file(COPY "${PROGRAM}" DESTINATION "${DIR}/plant/bin"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
file(GLOB libs "${LIBS}/*.so*")
foreach(lib ${libs})
    get_filename_component(name "${lib}" NAME)
    file(CREATE_LINK "${lib}" "${DIR}/plant/lib/${name}" SYMBOLIC)
endforeach()
