target_sources(sqldriver_static PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/placeholder_core.cpp
)
