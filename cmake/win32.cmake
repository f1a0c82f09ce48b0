# Windows: the native Win32 viewer, its zip package and, when cross-built,
# the tests that run under Wine.
# A library cross-built with mingw-w64 by scripts/build-NAME-win.sh, made
# once and cached outside the work tree: VAR holds its prefix (make build-win
# passes it; a bare configure runs the script itself).
function(duplexa_cross_built name var)
  set(${var} "" CACHE PATH "Prefix of the ${name} cross-build (scripts/build-${name}-win.sh)")
  if(NOT ${var} OR NOT EXISTS ${${var}}/.complete)
    execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/build-${name}-win.sh
      OUTPUT_VARIABLE output OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "scripts/build-${name}-win.sh failed")
    endif()
    string(REGEX REPLACE ".*\n" "" output "${output}")
    set(${var} ${output} CACHE PATH "" FORCE)
  endif()
endfunction()

# Assimp: with mingw-w64 the static cross-build of scripts/build-assimp-win.sh.
# Elsewhere (Visual Studio) whatever assimp package CMake finds, e.g. vcpkg's.
if(MINGW)
  duplexa_cross_built(assimp DUPLEXA_ASSIMP_WIN)
  # Assimp's exported target names plain `minizip` in its link interface.
  add_library(minizip STATIC IMPORTED)
  set_target_properties(minizip PROPERTIES IMPORTED_LOCATION ${DUPLEXA_ASSIMP_WIN}/lib/libminizip.a
    INTERFACE_LINK_LIBRARIES z)
  list(APPEND CMAKE_FIND_ROOT_PATH ${DUPLEXA_ASSIMP_WIN})
  find_package(assimp REQUIRED CONFIG PATHS ${DUPLEXA_ASSIMP_WIN}/lib/cmake NO_DEFAULT_PATH)
else()
  find_package(assimp REQUIRED)
endif()
target_link_libraries(duplexa_model PUBLIC assimp::assimp)

# meshoptimizer: with mingw-w64 the static cross-build of
# scripts/build-meshoptimizer-win.sh.
if(MINGW)
  duplexa_cross_built(meshoptimizer DUPLEXA_MESHOPTIMIZER_WIN)
  add_library(meshoptimizer::meshoptimizer STATIC IMPORTED)
  set_target_properties(meshoptimizer::meshoptimizer PROPERTIES
    IMPORTED_LOCATION ${DUPLEXA_MESHOPTIMIZER_WIN}/lib/libmeshoptimizer.a
    INTERFACE_INCLUDE_DIRECTORIES ${DUPLEXA_MESHOPTIMIZER_WIN}/include)
else()
  find_package(meshoptimizer REQUIRED CONFIG)
endif()
target_link_libraries(duplexa_model PUBLIC meshoptimizer::meshoptimizer)

file(GLOB DUPLEXA_WIN32_SOURCES CONFIGURE_DEPENDS platform/win32/*.cpp)
add_executable(duplexa WIN32 ${DUPLEXA_WIN32_SOURCES})
target_link_libraries(duplexa PRIVATE duplexa_core gdi32 user32 winmm shell32)
# No run-time DLLs beside the .exe: it runs on a bare Windows.
if(MINGW)
  target_link_options(duplexa PRIVATE -static -static-libgcc -static-libstdc++)
elseif(MSVC)
  set_property(TARGET duplexa_platform duplexa_image duplexa_text duplexa_camera duplexa_stereo duplexa_model
    duplexa_app duplexa PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
endif()

# The zip: duplexa.exe, data/font.bmp, the README and the licence notices.
install(TARGETS duplexa RUNTIME DESTINATION .)
install(FILES data/font.bmp DESTINATION data)
# OPTIONAL: a notice that does not exist yet is left out, not an error.
install(FILES README.md LICENSE DESTINATION . OPTIONAL)
install(FILES data/FONT-LICENSE DESTINATION data OPTIONAL)
install(DIRECTORY data/models DESTINATION data OPTIONAL)
if(MINGW AND EXISTS ${DUPLEXA_ASSIMP_WIN}/LICENSE-assimp.txt)
  install(FILES ${DUPLEXA_ASSIMP_WIN}/LICENSE-assimp.txt DESTINATION licences RENAME assimp.txt)
endif()
if(MINGW AND EXISTS ${DUPLEXA_MESHOPTIMIZER_WIN}/LICENSE-meshoptimizer.txt)
  install(FILES ${DUPLEXA_MESHOPTIMIZER_WIN}/LICENSE-meshoptimizer.txt DESTINATION licences RENAME meshoptimizer.txt)
endif()
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
