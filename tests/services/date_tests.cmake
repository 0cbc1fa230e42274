# The date tag, its date-format engine and the locale's date and time texts.
webletter_add_gtest(date_tests
  ${CMAKE_CURRENT_LIST_DIR}/date_format_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/date_tag_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/locale_text_test.cc
  LIBS webletter_services)
