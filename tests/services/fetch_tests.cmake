# The page fetch against a real web server (tests/support/http_server.py), and the charset
# detection and decoding of pages.
webletter_add_gtest(fetch_page_test ${CMAKE_CURRENT_LIST_DIR}/fetch_page_test.cc
  LIBS webletter_services)
webletter_add_gtest(fetch_charset_test ${CMAKE_CURRENT_LIST_DIR}/fetch_charset_test.cc
  LIBS webletter_services)
