# The audio stand-in: headless tests, and threaded ones (the wall clock, SDL's dummy and disk drivers).
zav_add_test(platform_audio_tests LABEL platform
  SOURCES audio_test.cpp
  LIBS platform_audio)
zav_add_test(platform_audio_thread_tests LABEL platform THREADED
  SOURCES audio_thread_test.cpp
  LIBS platform_audio)
