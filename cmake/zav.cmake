# Helpers shared by every folder's CMakeLists.

# zav_add_test(<name> LABEL <folder> SOURCES ... [LIBS ...] [THREADED])
# One GoogleTest program, its tests registered in CTest under the folder's label. The
# ThreadSanitizer build builds and runs only the THREADED programs.
function(zav_add_test name)
  cmake_parse_arguments(T "THREADED" "LABEL" "SOURCES;LIBS" ${ARGN})
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
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS ${T_LABEL})
endfunction()

# zav_add_library(<name> SOURCES ... [LIBS ...]): a subsystem's static library.
function(zav_add_library name)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS})
endfunction()
