# Helpers shared by the layer build files.

# korvane_sources(<var> <dir>): every C++ source directly in <dir>, re-globbed
# when files are added so that each unit only has to be dropped in place.
function(korvane_sources var dir)
    file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
    set(${var} ${srcs} PARENT_SCOPE)
endfunction()

# korvane_test(<name> <dir> LIBS <libs...>): one GoogleTest program built from
# every source in <dir>; each test case is registered with CTest on its own.
function(korvane_test name dir)
    cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
    korvane_sources(srcs ${dir})
    if(NOT srcs)
        return()
    endif()
    add_executable(${name} ${srcs})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES ENVIRONMENT "KORVANE_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data")
endfunction()
