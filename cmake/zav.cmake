# Helpers shared by every folder's CMakeLists.

# zav_add_test(<name> LABEL <folder> SOURCES ... [LIBS ...] [THREADED] [TIMEOUT <seconds>])
# One GoogleTest program, its tests registered in CTest under the folder's label (each with the
# timeout when given). The ThreadSanitizer build builds and runs only the THREADED programs.
function(zav_add_test name)
  cmake_parse_arguments(T "THREADED" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(ZAV_TSAN AND NOT T_THREADED)
    return()
  endif()
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/test_main.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE ZAV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(T_THREADED)
    set_property(GLOBAL APPEND PROPERTY ZAV_THREADED_TESTS ${name})
  endif()
  set(timeout)
  if(T_TIMEOUT)
    set(timeout TIMEOUT ${T_TIMEOUT})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS ${T_LABEL} ${timeout})
endfunction()

# zav_add_library(<name> SOURCES ... [LIBS ...]): a subsystem's static library.
function(zav_add_library name)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS})
endfunction()

# zav_subsystem(<folder> [LIBS ...]): the folder's static library from every .cpp in it.
function(zav_subsystem folder)
  cmake_parse_arguments(S "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  zav_add_library(${folder} SOURCES ${sources} LIBS ${S_LIBS})
endfunction()

# zav_subsystem_tests(<folder> [LIBS ...]): the folder's test program from every *_test.cpp, and
# a second, THREADED program from every *_thread_test.cpp (also run under ThreadSanitizer).
function(zav_subsystem_tests folder)
  cmake_parse_arguments(S "" "" "LIBS" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB threaded CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_thread_test.cpp)
  set(plain ${all})
  if(threaded)
    list(REMOVE_ITEM plain ${threaded})
    zav_add_test(${folder}_thread_tests LABEL ${folder} THREADED SOURCES ${threaded} LIBS ${S_LIBS})
  endif()
  if(plain)
    zav_add_test(${folder}_tests LABEL ${folder} SOURCES ${plain} LIBS ${S_LIBS})
  endif()
endfunction()

# zav_add_gl_test(<name> LABEL <folder> SOURCES ... [LIBS ...])
# One GoogleTest program drawing with OpenGL, run as one CTest entry under a private Xvfb
# (tests/gl/run_xvfb.sh). Not built in the ThreadSanitizer tree.
function(zav_add_gl_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  if(ZAV_TSAN)
    return()
  endif()
  set(reference "")
  if(EXISTS ${PROJECT_SOURCE_DIR}/tests/gl/gpu_reference.cpp)
    set(reference ${PROJECT_SOURCE_DIR}/tests/gl/gpu_reference.cpp)
  endif()
  add_executable(${name} ${T_SOURCES} ${reference} ${PROJECT_SOURCE_DIR}/tests/gl/gl_test_main.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE ZAV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND bash ${PROJECT_SOURCE_DIR}/tests/gl/run_xvfb.sh $<TARGET_FILE:${name}>)
  # Mesa's unloaded modules look like leaks; our own show as live objects in the tests.
  set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT 600 ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endfunction()
