find_package(SDL2 REQUIRED)
zav_add_library(platform_window
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_common.cpp ${CMAKE_CURRENT_LIST_DIR}/window_headless.cpp
          ${CMAKE_CURRENT_LIST_DIR}/window_sdl.cpp
  LIBS platform SDL2::SDL2)
