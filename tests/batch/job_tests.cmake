# The section job and the error report, in process: the texts, the mode table, the order of the
# checks, and everything that fails before a server would be needed.
webletter_add_gtest(batch_job_tests
  ${CMAKE_CURRENT_LIST_DIR}/job_test_support.cc
  ${CMAKE_CURRENT_LIST_DIR}/error_report_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/section_job_test.cc
  LIBS webletter_batch)
