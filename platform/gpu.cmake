# The graphics stand-in: the common front, its back ends and the effect runtime, one library.
file(GLOB gpu_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/gpu*.cpp)
zav_add_library(platform_gpu SOURCES ${gpu_sources} LIBS platform)
