# Connection handling: handles, connect and disconnect, connection strings,
# options, the translation library, the type catalog and the exported ODBC
# functions of the connection road; the dialog providers of the platform.
target_sources(sqldriver_static PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/rcconn.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcconn_api.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcconn_prompt.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcconnstr.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcinfo.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcodbc_entry.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcoption.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rctranslate.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rctypecat.cpp
  ${PROJECT_SOURCE_DIR}/platform/dialog.cpp
)

if(QX_TESTS)
  # Translation libraries for the tests: a complete one and one that lacks
  # SQLDataSourceToDriver.
  add_library(qx_xlate_test MODULE ${CMAKE_CURRENT_SOURCE_DIR}/tests/xlate_test_lib.cpp)
  add_library(qx_xlate_broken MODULE ${CMAKE_CURRENT_SOURCE_DIR}/tests/xlate_test_lib.cpp)
  target_compile_definitions(qx_xlate_broken PRIVATE QX_XLATE_ONE_FUNCTION)
endif()

qx_gtest(core_connect_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/rcconnstr_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/rcconn_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/rctranslate_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/rctypecat_test.cpp
  LIBS sqldriver_static qx_test_support)
if(QX_TESTS)
  add_dependencies(core_connect_tests qx_xlate_test qx_xlate_broken)
  target_compile_definitions(core_connect_tests PRIVATE
    QX_XLATE_TEST_LIB="$<TARGET_FILE:qx_xlate_test>"
    QX_XLATE_BROKEN_LIB="$<TARGET_FILE:qx_xlate_broken>")
endif()

qx_fuzz_target(rcconnstr_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/rcconnstr_fuzz.cpp
  LIBS sqldriver_static
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/rcconnstr)

qx_gtest(core_connect_live_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/rcconn_live_test.cpp
  LIBS sqldriver_static qx_test_support)
if(QX_TESTS)
  target_compile_definitions(core_connect_live_tests PRIVATE
    QX_DEMO_FIXTURE="${PROJECT_SOURCE_DIR}/qxserver/fixtures/demo.json")
endif()
