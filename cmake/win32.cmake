# Windows: the native Win32 viewer, its zip package and, when cross-built,
# the tests that run under Wine.
file(GLOB DUPLEXA_WIN32_SOURCES CONFIGURE_DEPENDS platform/win32/*.cpp)
add_executable(duplexa WIN32 ${DUPLEXA_WIN32_SOURCES})
target_link_libraries(duplexa PRIVATE duplexa_core gdi32 user32 winmm shell32)
# No run-time DLLs beside the .exe: it runs on a bare Windows.
if(MINGW)
  target_link_options(duplexa PRIVATE -static -static-libgcc -static-libstdc++)
elseif(MSVC)
  set_property(TARGET duplexa_core duplexa PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
endif()

# The zip: duplexa.exe, data/font.bmp, the README and the licence notices.
install(TARGETS duplexa RUNTIME DESTINATION .)
install(FILES data/font.bmp DESTINATION data)
# OPTIONAL: a notice that does not exist yet is left out, not an error.
install(FILES README.md LICENSE DESTINATION . OPTIONAL)
install(FILES data/FONT-LICENSE DESTINATION data OPTIONAL)
# The MinGW run-time (start-up code, winpthreads) is linked into the .exe;
# its copyright notices go with it.
set(DUPLEXA_MINGW_NOTICE /usr/share/doc/mingw-w64-x86-64-dev/copyright)
if(MINGW AND EXISTS ${DUPLEXA_MINGW_NOTICE})
  install(FILES ${DUPLEXA_MINGW_NOTICE} DESTINATION licences RENAME mingw-w64-runtime.txt)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME duplexa)
set(CPACK_PACKAGE_VENDOR "Duplexa")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Interactive stereoscopic OpenGL viewer")
set(CPACK_PACKAGE_FILE_NAME duplexa-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
include(CPack)

if(DUPLEXA_TESTS AND CMAKE_CROSSCOMPILING)
  enable_testing()
  add_subdirectory(tests/win32)
endif()
