# Statement handles of the ODBC layer: allocation, preparation, describe
# functions, cursor names, statement options, native SQL.
target_sources(sqldriver_static PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/rcstmt_api.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rcstmt_describe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rcstmt_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rcstmt_source.cpp
)
