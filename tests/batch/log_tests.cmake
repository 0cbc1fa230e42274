# The log file.
webletter_add_gtest(log_tests
  ${CMAKE_CURRENT_LIST_DIR}/log_file_test.cc
  LIBS webletter_batch)
