# The font image generator, tools/make_font. Off by default: data/font.bmp is
# committed, and only regenerating it needs FreeType and the DejaVu fonts
# (Debian: libfreetype-dev, fonts-dejavu-core).
#   cmake -S . -B build-tools -DDUPLEXA_TOOLS=ON && cmake --build build-tools --target font
option(DUPLEXA_TOOLS "Build tools/make_font, the font image generator (needs FreeType)" OFF)

if(DUPLEXA_TOOLS)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
  add_executable(make_font ${PROJECT_SOURCE_DIR}/tools/make_font.cpp)
  target_link_libraries(make_font PRIVATE PkgConfig::FREETYPE)
  # Rewrites the committed picture in place; review it with git diff.
  add_custom_target(font
    COMMAND make_font ${PROJECT_SOURCE_DIR}/data/font.bmp
    DEPENDS make_font
    COMMENT "Regenerating data/font.bmp"
    VERBATIM)
endif()
