# Base services of the driver: memory, locks, lists, files, trace, errors,
# registry settings, resource strings and string routines.
target_sources(qx_core PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/rcerror.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcfile.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rclist.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rclock.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcmem.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcregistry.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcstr.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcstrings.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcstrings_table.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rctrace.cpp
)

qx_gtest(core_base_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/mem_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/lock_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/list_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/error_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/file_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/str_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/trace_test.cpp
  LIBS qx_core qx_test_support)
