# The table-access layer: sessions, databases, tables, column reads with the
# column cache, the type-catalog cursor and the data-module error mapping.
target_sources(qx_engine PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/tam_catalog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tam_column.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tam_drminfo.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tam_errmap.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tam_session.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tam_tablefacts.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/tam_translate.cpp
)

qx_gtest(engine_tam_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/tam_test.cpp
  LIBS qx_engine)
