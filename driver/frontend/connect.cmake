# Front-end parts of the connection road: engine options, the transaction
# state machine, the logon dialogs and the data module's information items.
target_sources(sqldriver_static PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/fe_dialog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/fe_drminfo.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/fe_getinfo.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/fe_options.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/fe_transact.cpp
)

qx_gtest(frontend_connect_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/fe_transact_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/fe_dialog_test.cpp
  LIBS sqldriver_static qx_test_support)
