# Password dialogs.
target_sources(kalmira_crypto_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/masked_edit.h ${CMAKE_CURRENT_LIST_DIR}/masked_edit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/password_common.h ${CMAKE_CURRENT_LIST_DIR}/password_common.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frmPasV.h ${CMAKE_CURRENT_LIST_DIR}/frmPasV.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frmPas.h ${CMAKE_CURRENT_LIST_DIR}/frmPas.cpp)
