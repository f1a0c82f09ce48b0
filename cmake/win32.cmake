# Windows: the native Win32 viewer.
file(GLOB DUPLEXA_WIN32_SOURCES CONFIGURE_DEPENDS platform/win32/*.cpp)
add_executable(duplexa WIN32 ${DUPLEXA_WIN32_SOURCES})
target_link_libraries(duplexa PRIVATE duplexa_core gdi32 user32 winmm)
