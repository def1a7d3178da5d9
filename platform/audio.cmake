# The DirectSound stand-in: the common front and its SDL2 and headless back ends.
find_package(SDL2 REQUIRED)
zav_add_library(platform_audio
  SOURCES audio_common.cpp audio_headless.cpp audio_sdl.cpp
  LIBS platform SDL2::SDL2)
