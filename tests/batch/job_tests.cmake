# The section job and the error report in process, for what the end-to-end tests cannot reach.
webletter_add_gtest(batch_job_tests
  ${CMAKE_CURRENT_LIST_DIR}/error_report_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/section_job_test.cc
  LIBS webletter_batch)
