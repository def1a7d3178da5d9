# The audio stand-in: headless tests, and threaded ones (the wall clock, SDL's dummy and disk drivers).
zav_add_test(platform_audio_tests LABEL platform
  SOURCES audio_test.cpp
  LIBS platform_audio)
zav_add_test(platform_audio_thread_tests LABEL platform THREADED
  SOURCES audio_thread_test.cpp
  LIBS platform_audio)

# The sound tests and the sound demo write their Ogg files with libvorbisenc. The sound test programs
# are made later (tests/sound), so they get the library when the whole tree has been read.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET GLOBAL vorbisenc vorbis ogg)
function(zav_link_sound_test_encoder)
  foreach(program sound_tests sound_thread_tests)
    if(TARGET ${program})
      target_link_libraries(${program} PRIVATE PkgConfig::VORBISENC)
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL zav_link_sound_test_encoder)

# Demo: a generated effect played through SDL's "disk" driver into a file, and found there again.
if(NOT ZAV_TSAN)
  add_executable(sound_demo ${PROJECT_SOURCE_DIR}/tests/sound/sound_demo.cpp)
  target_link_libraries(sound_demo PRIVATE sound PkgConfig::VORBISENC)
  target_include_directories(sound_demo PRIVATE ${PROJECT_SOURCE_DIR})
  add_test(NAME sound_demo COMMAND sound_demo ${CMAKE_CURRENT_BINARY_DIR}/sound_demo.raw)
  set_tests_properties(sound_demo PROPERTIES LABELS sound)
endif()
