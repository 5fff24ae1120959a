# Connection handling: handles, connect and disconnect, connection strings,
# options, the translation library, the type catalog and the exported ODBC
# functions of the connection road; the dialog providers of the platform.
target_sources(sqldriver_static PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/rcconn.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcconn_api.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcconn_prompt.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcconnstr.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcodbc_entry.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcoption.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rctranslate.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rctypecat.cpp
  ${PROJECT_SOURCE_DIR}/platform/dialog.cpp
)

qx_gtest(core_connect_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/rcconnstr_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/rcconn_test.cpp
  LIBS sqldriver_static)
