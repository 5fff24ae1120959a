# Value conversion sources: exact numerics, the conversion matrix and its
# converters, dates and times, value comparison, collation and LIKE.
target_sources(qx_core PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/rcnum.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcnumconv.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcnumprivate.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rccnvmatrix.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcsqltype.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rccnvtext.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rccnvnumeric.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcdate.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rcdateconv.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rccompare.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rccollate.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rclike.cpp
)

qx_gtest(rcvalues_test
  SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/rcnum_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/rccnv_matrix_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/rccnv_text_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/rcdate_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/rccompare_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/rcsqltype_test.cpp
  LIBS qx_core qx_test_support)

qx_fuzz_target(rcvalues_text_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/rcvalues_text_fuzz.cpp
  LIBS qx_core
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/rcvalues_text)
