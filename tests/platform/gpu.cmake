zav_add_test(platform_gpu_tests LABEL platform
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gpu_device_test.cpp ${CMAKE_CURRENT_LIST_DIR}/gpu_effect_test.cpp
  LIBS platform_gpu)
zav_add_gl_test(platform_gpu_gl_tests LABEL platform
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/gpu_gltest.cpp ${CMAKE_CURRENT_LIST_DIR}/gpu_texture_gltest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/gpu_program_gltest.cpp ${CMAKE_CURRENT_LIST_DIR}/gpu_script_gltest.cpp
  LIBS platform_gpu shader)
