kalmira_qtest(password_windows_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/password_windows_test.cpp LIBS kalmira_crypto_ui)
