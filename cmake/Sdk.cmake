# Helpers shared by the folder CMakeLists.

# Warnings as errors for the project's own code.
function(sdk_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()

# An OBJECT library from every source file directly in DIR (new files are picked up on the next
# build without editing CMake). Extra arguments are passed as the DEFINES of the variant.
function(sdk_object_library target dir)
  cmake_parse_arguments(ARG "" "" "DEFINES;EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER srcs EXCLUDE REGEX "${ex}")
  endforeach()
  if(NOT srcs)
    # A folder whose sources have not been written yet still yields a (empty) library.
    set(srcs ${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp)
    file(WRITE ${srcs} "")
  endif()
  add_library(${target} OBJECT ${srcs})
  target_compile_definitions(${target} PUBLIC ${ARG_DEFINES})
  sdk_warnings(${target})
endfunction()

# A shared library that exports only what its version script lists.
function(sdk_shared_library target output_name version_script)
  add_library(${target} SHARED)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output_name} PREFIX "lib"
                        LINK_DEPENDS ${version_script})
  # Functions bind inside the library; exported data (the TESSERA builder strings, libstrix's
  # settings variables) must not: an application that reads or writes it directly gets a copy
  # relocation, and only the copy that every module shares sees the library's values.
  target_link_options(${target} PRIVATE -Wl,--version-script=${version_script}
                      -Wl,--exclude-libs,ALL -Wl,-Bsymbolic-functions -Wl,--no-undefined)
endfunction()

# A GoogleTest executable from every *_test.cpp in DIR, registered with CTest.
# LIBS are linked; ENV entries are set for the tests' processes.
function(sdk_test target dir)
  cmake_parse_arguments(ARG "" "WORKING_DIRECTORY" "LIBS;ENV;LABELS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*_test.cpp ${dir}/*_fixture.cpp)
  add_executable(${target} ${srcs})
  sdk_warnings(${target})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock
                        Threads::Threads)
  if(NOT ARG_WORKING_DIRECTORY)
    set(ARG_WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  endif()
  gtest_discover_tests(${target} TEST_PREFIX "${target}." WORKING_DIRECTORY ${ARG_WORKING_DIRECTORY}
                       PROPERTIES ENVIRONMENT "${ARG_ENV}" LABELS "${ARG_LABELS}"
                       DISCOVERY_TIMEOUT 60)
endfunction()

