# The generators of committed data: tools/make_font (the font image; needs
# FreeType and the DejaVu fonts, Debian: libfreetype-dev, fonts-dejavu-core)
# and tools/make_models (the sample models; needs nothing). Off by default.
#   cmake -S . -B build-tools -DDUPLEXA_TOOLS=ON && cmake --build build-tools --target font
#   cmake --build build-tools --target models
option(DUPLEXA_TOOLS "Build tools/make_font and tools/make_models, the generators of data/" OFF)

if(DUPLEXA_TOOLS)
  add_executable(make_models ${PROJECT_SOURCE_DIR}/tools/make_models.cpp)
  add_custom_target(models
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_SOURCE_DIR}/data/models
    COMMAND make_models ${PROJECT_SOURCE_DIR}/data/models
    DEPENDS make_models
    COMMENT "Regenerating data/models"
    VERBATIM)

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
