# Stored views: the view files, the statement's view catalogue and the
# expansion of views named in a statement.
target_sources(qx_frontend PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/fe_viewfile.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/fe_view.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/fe_viewexpand.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/fe_viewmerge.cpp
)

qx_gtest(frontend_view_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/view_file_test.cpp
          ${CMAKE_CURRENT_SOURCE_DIR}/tests/view_expand_test.cpp
  LIBS qx_frontend)
if(TARGET frontend_view_tests)
  target_compile_definitions(frontend_view_tests PRIVATE
    QX_PARSE_CORPUS="${CMAKE_CURRENT_SOURCE_DIR}/tests/corpus")
endif()

qx_fuzz_target(frontend_viewfile_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/viewfile_fuzz.cpp
  LIBS qx_frontend
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/tests/viewfile_corpus)
