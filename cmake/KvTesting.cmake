# kv_add_qtest(<name> SOURCES <files...> [LIBS <targets...>] [XVFB] [COMPOSITOR]
#              [WESTON] [WESTON_X11] [ENV <VAR=value...>] [TIMEOUT <seconds>])
#
# Builds a Qt Test executable into <build>/bin and registers it with CTest.
# Without XVFB the test runs on Qt's offscreen platform. XVFB runs it on a
# private Xvfb server (real X11, Mesa's software OpenGL); COMPOSITOR also starts
# a compositing manager on that server. WESTON runs it as a client of a
# private headless Weston on Qt's wayland platform; WESTON_X11 runs that Weston
# on its X11 backend inside a private Xvfb, for real pointer input.
set(KV_TEST_TOOLS_DIR ${CMAKE_SOURCE_DIR}/tests)

# Sanitized runs on X keep Mesa's software driver loaded in the test process
# (run-under-xvfb.sh preloads it, after the sanitizer runtime, which must come
# first): when SDL shuts its display down Mesa unloads the driver, and leaks
# inside it would be reported against an unknown module, out of reach of the
# system-library suppressions. Qt 5 holds the driver from the first window on;
# Qt 6.4 does not.
set(KV_TEST_PRELOAD "")
if(KV_SANITIZE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                  OUTPUT_VARIABLE kv_asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_file(KV_SWRAST_DRIVER swrast_dri.so
            PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/dri NO_DEFAULT_PATH)
  if(KV_SWRAST_DRIVER)
    set(KV_TEST_PRELOAD "${kv_asan_runtime}:${KV_SWRAST_DRIVER}")
  endif()
endif()

function(kv_add_qtest name)
  cmake_parse_arguments(T "XVFB;COMPOSITOR;WESTON;WESTON_X11" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt::Test ${T_LIBS})
  if(T_WESTON OR T_WESTON_X11)
    if(T_WESTON_X11)
      add_test(NAME ${name} COMMAND ${KV_TEST_TOOLS_DIR}/run-under-weston.sh --x11 $<TARGET_FILE:${name}>)
    else()
      add_test(NAME ${name} COMMAND ${KV_TEST_TOOLS_DIR}/run-under-weston.sh $<TARGET_FILE:${name}>)
    endif()
    set(platform_env "QT_QPA_PLATFORM=wayland;KV_TEST_PRELOAD=${KV_TEST_PRELOAD}")
  elseif(T_XVFB OR T_COMPOSITOR)
    set(runner ${KV_TEST_TOOLS_DIR}/run-under-xvfb.sh)
    if(T_COMPOSITOR)
      add_test(NAME ${name} COMMAND ${runner} --compositor $<TARGET_FILE:${name}>)
    else()
      add_test(NAME ${name} COMMAND ${runner} $<TARGET_FILE:${name}>)
    endif()
    set(platform_env "QT_QPA_PLATFORM=xcb;KV_TEST_PRELOAD=${KV_TEST_PRELOAD}")
  else()
    add_test(NAME ${name} COMMAND ${name})
    set(platform_env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "${platform_env};LIBGL_ALWAYS_SOFTWARE=1;LSAN_OPTIONS=suppressions=${KV_TEST_TOOLS_DIR}/lsan.supp:print_suppressions=0;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;KV_V4L2_ROOT=${CMAKE_BINARY_DIR}/no-v4l2-devices;KV_PIPEWIRE=0;PIPEWIRE_REMOTE=${CMAKE_BINARY_DIR}/no-pipewire-daemon;KV_CAMERA_PORTAL=0;${T_ENV}")
endfunction()
