# Linux: the SDL2 viewer, the scripted test backend over OSMesa, and the tests.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
# The SDL backend asks the X server for the pointer itself (GetCursorPos).
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(OSMESA REQUIRED IMPORTED_TARGET osmesa)

file(GLOB DUPLEXA_SDL_SOURCES CONFIGURE_DEPENDS platform/sdl/*.cpp)
add_executable(duplexa ${DUPLEXA_SDL_SOURCES})
target_link_libraries(duplexa PRIVATE duplexa_core PkgConfig::SDL2 PkgConfig::X11 OpenGL::GL OpenGL::GLU)

# The scripted backend renders with real GL into offscreen OSMesa buffers.
file(GLOB DUPLEXA_SCRIPT_SOURCES CONFIGURE_DEPENDS platform/script/*.cpp)
add_library(duplexa_script STATIC ${DUPLEXA_SCRIPT_SOURCES})
target_link_libraries(duplexa_script PUBLIC duplexa_core PkgConfig::OSMESA OpenGL::GLU)
# glDeleteLists is logged with the platform calls, to check the release order.
target_link_options(duplexa_script INTERFACE -Wl,--wrap=glDeleteLists)

if(DUPLEXA_TESTS)
  enable_testing()
  add_subdirectory(tests)

  # The SDL key mapping, tested on its own: no display needed.
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(sdl_key_tests tests/sdl/sdl_keys_test.cpp platform/sdl/sdl_keys.cpp)
  target_include_directories(sdl_key_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(sdl_key_tests PRIVATE PkgConfig::SDL2 GTest::gtest_main)
  gtest_discover_tests(sdl_key_tests DISCOVERY_TIMEOUT 60)

  # The rest of the SDL backend on SDL's offscreen driver: no display needed.
  add_executable(sdl_backend_tests tests/sdl/sdl_backend_test.cpp platform/sdl/sdl_platform.cpp
    platform/sdl/sdl_keys.cpp)
  target_include_directories(sdl_backend_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(sdl_backend_tests PRIVATE PkgConfig::SDL2 PkgConfig::X11 OpenGL::GL GTest::gtest_main)
  if(DUPLEXA_SANITIZE)
    # The GL driver SDL loads for its offscreen windows keeps a block until
    # it is unloaded at SDL_Quit, after which the leak checker can no longer
    # even name its module; leaks of our own code are checked by every other
    # test executable.
    gtest_discover_tests(sdl_backend_tests DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:halt_on_error=1")
  else()
    gtest_discover_tests(sdl_backend_tests DISCOVERY_TIMEOUT 60)
  endif()
endif()

# Benchmarks: off by default; scripts/bench.sh turns them on in its own build.
option(DUPLEXA_BENCH "Build the benchmarks (bench/)" OFF)
if(DUPLEXA_BENCH AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/bench)
  add_subdirectory(bench)
endif()
