# One static library per folder of the shared code, each seeing only its own
# headers and those of the folders below it: every library compiles against
# a folder of links to exactly those, so an include that runs upwards does
# not build. The shell (app/) is on top; the platform layer at the bottom.
#
#   duplexa_layer(NAME [BELOW folder ...] [SOURCES file ...])
#
# NAME is the folder; its *.cpp are the library's sources unless SOURCES
# lists them. BELOW: the folders whose libraries it uses (their own lower
# folders come with them).
include_guard(GLOBAL)

function(duplexa_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "BELOW;SOURCES")
  set(view ${CMAKE_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${view})
  foreach(folder ${name} ${ARG_BELOW})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
  endforeach()
  if(NOT ARG_SOURCES)
    file(GLOB ARG_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${name}/*.cpp)
  endif()
  add_library(duplexa_${name} STATIC ${ARG_SOURCES})
  target_include_directories(duplexa_${name} PUBLIC ${view})
  foreach(folder ${ARG_BELOW})
    target_link_libraries(duplexa_${name} PUBLIC duplexa_${folder})
  endforeach()
endfunction()
