# Linux: the SDL2 viewer, the scripted test backend over OSMesa, and the tests.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
# The SDL backend asks the X server for the pointer itself (GetCursorPos).
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)

file(GLOB DUPLEXA_SDL_SOURCES CONFIGURE_DEPENDS platform/sdl/*.cpp)
add_executable(duplexa ${DUPLEXA_SDL_SOURCES})
# Pictures without a display (--render) come through EGL's surfaceless platform.
pkg_check_modules(EGL REQUIRED IMPORTED_TARGET egl)
target_link_libraries(duplexa PRIVATE duplexa_core PkgConfig::SDL2 PkgConfig::X11 PkgConfig::EGL OpenGL::GL OpenGL::GLU)

# The scripted backend renders with real GL into offscreen OSMesa buffers;
# only the tests and benchmarks need it (and OSMesa).
if(DUPLEXA_TESTS OR DUPLEXA_BENCH)
  pkg_check_modules(OSMESA REQUIRED IMPORTED_TARGET osmesa)
  file(GLOB DUPLEXA_SCRIPT_SOURCES CONFIGURE_DEPENDS platform/script/*.cpp)
  add_library(duplexa_script STATIC ${DUPLEXA_SCRIPT_SOURCES})
  target_link_libraries(duplexa_script PUBLIC duplexa_core PkgConfig::OSMESA OpenGL::GLU)
  # glDeleteLists is logged with the platform calls, to check the release order.
  target_link_options(duplexa_script INTERFACE -Wl,--wrap=glDeleteLists)
endif()

if(DUPLEXA_TESTS)
  enable_testing()
  # Before tests/, so that GoogleTest's targets are seen there too.
  include(cmake/test_executable.cmake)
  add_subdirectory(tests)

  # The SDL key mapping, tested on its own: no display needed.
  duplexa_test_executable(sdl_key_tests SOURCES tests/sdl/sdl_keys_test.cpp platform/sdl/sdl_keys.cpp
    LIBRARIES PkgConfig::SDL2)

  # The backend contract and the rest of the SDL backend, on SDL's offscreen
  # driver: no display needed.
  set(sdl_backend_sources platform/sdl/sdl_platform.cpp platform/sdl/sdl_keys.cpp)
  set(sdl_backend_libraries PkgConfig::SDL2 PkgConfig::X11 OpenGL::GL)
  set(sdl_test_properties)
  if(DUPLEXA_SANITIZE)
    # The GL driver SDL loads for its offscreen windows keeps a block until
    # it is unloaded at SDL_Quit, after which the leak checker can no longer
    # even name its module; leaks of our own code are checked by every other
    # test executable.
    set(sdl_test_properties ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:halt_on_error=1")
  endif()
  duplexa_test_executable(sdl_backend_tests
    SOURCES tests/backend/contract_test.cpp tests/backend/system_sdl.cpp tests/sdl/sdl_backend_test.cpp
    ${sdl_backend_sources} LIBRARIES ${sdl_backend_libraries} PROPERTIES ${sdl_test_properties})
endif()

# Benchmarks: off by default; scripts/bench.sh turns them on in its own build.
if(DUPLEXA_BENCH AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/bench)
  add_subdirectory(bench)
endif()

# Installation: cmake --install build --prefix P puts the program in P/bin and
# the font where the program looks for it (P/share/duplexa, found from
# P/bin), with a desktop entry and an icon.
include(GNUInstallDirs)
install(TARGETS duplexa RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/font.bmp DESTINATION ${CMAKE_INSTALL_DATADIR}/duplexa)
install(FILES data/duplexa.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/duplexa.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES README.md LICENSE data/FONT-LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})

# make package: a .deb of the same files; its run-time dependencies come from
# the libraries the program links (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME duplexa)
set(CPACK_PACKAGE_VENDOR "Duplexa")
set(CPACK_PACKAGE_CONTACT "Duplexa developers <duplexa@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Interactive stereoscopic (3-D) OpenGL viewer")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# SDL opens libGL.so.1 at run time, where dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1")
# The message boxes draw with the X core fonts; without them the viewer
# still runs (unanswered questions open a window).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xfonts-base")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
include(CPack)
