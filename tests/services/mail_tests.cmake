# The mail sender: address checks, server addresses and composition read back by an independent
# parser (tests/support/parse_message.py), and real sends to tests/support/smtp_server.py.
webletter_add_gtest(mail_test
  ${CMAKE_CURRENT_LIST_DIR}/mail_compose_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/mail_netrc_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/mail_send_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/mail_test_support.cc
  LIBS webletter_services)
