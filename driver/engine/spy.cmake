# Diagnostic dumps of what the engine hands to the data module.
target_sources(qx_engine PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/rcspy.cpp
)

qx_gtest(engine_spy_tests
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tests/spy_test.cpp
  LIBS qx_engine)
