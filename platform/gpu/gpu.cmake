# The graphics stand-in: the common front (with the effect runtime) and its back ends, one library.
file(GLOB gpu_sources CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/front/*.cpp ${CMAKE_CURRENT_LIST_DIR}/headless/*.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gl/*.cpp)
find_package(OpenGL REQUIRED)
find_package(SDL2 REQUIRED)
zav_add_library(platform_gpu SOURCES ${gpu_sources} LIBS platform platform_window SDL2::SDL2 OpenGL::GL)
