# Helpers shared by every area's CMakeLists.txt.

# qx_shared_library(NAME STATIC_LIBS MAP_FILE [LIBS ...])
# Builds lib<NAME>.so from the whole of each of STATIC_LIBS (a list), exporting
# only the names listed in MAP_FILE (a linker version script).
function(qx_shared_library name static_libs map_file)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_library(${name} SHARED ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  foreach(lib IN LISTS static_libs)
    target_link_libraries(${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${lib}>")
    # The same archive reached again through another's link interface is
    # taken whole as well.
    set_property(TARGET ${name} PROPERTY LINK_LIBRARY_OVERRIDE_${lib} WHOLE_ARCHIVE)
  endforeach()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE "-Wl,--version-script=${map_file}")
  if(NOT QX_FUZZ) # clang's sanitizer runtime lives in the executable
    target_link_options(${name} PRIVATE "-Wl,--no-undefined")
  endif()
  set_target_properties(${name} PROPERTIES LINK_DEPENDS ${map_file})
  # Side by side (drvinstall, cmake --install) the libraries find each other,
  # and in the build tree the client library in its folder: the same run
  # path, relative to the library itself, in the build and installed.
  set_target_properties(${name} PROPERTIES BUILD_WITH_INSTALL_RPATH ON
                        INSTALL_RPATH "\$ORIGIN;\$ORIGIN/../netclient")
endfunction()

# qx_gtest(NAME SOURCES ... LIBS ...)
# A GoogleTest executable whose cases are registered with CTest one by one.
function(qx_gtest name)
  if(NOT QX_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "WORKING_DIRECTORY" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  if(NOT ARG_WORKING_DIRECTORY)
    set(ARG_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${ARG_WORKING_DIRECTORY}
    PROPERTIES ENVIRONMENT "${QX_TEST_ENV};${ARG_ENV}" TIMEOUT 300)
endfunction()

# qx_fuzz_target(NAME SOURCES ... LIBS ... CORPUS dir)
# A libFuzzer entry point (LLVMFuzzerTestOneInput). In the normal build it is
# linked with a small main that replays every file of CORPUS, and CTest runs
# that replay; scripts/fuzz builds the same sources with clang's libFuzzer.
function(qx_fuzz_target name)
  if(NOT QX_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(QX_FUZZ)
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_property(GLOBAL APPEND PROPERTY QX_FUZZ_TARGETS "${name}=${ARG_CORPUS}")
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz_replay_main.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  add_test(NAME ${name}.replay COMMAND ${name} ${ARG_CORPUS})
  set_tests_properties(${name}.replay PROPERTIES ENVIRONMENT "${QX_TEST_ENV}" TIMEOUT 300)
endfunction()
