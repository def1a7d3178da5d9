zav_add_test(platform_window_tests LABEL platform
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_test.cpp
  LIBS platform_window)
