# duplexa_test_executable(NAME SOURCES ... LIBRARIES ... [TEST_NAME name] [PROPERTIES ...] [OWN_MAIN])
# One GoogleTest executable: the project's include folders, the source folder
# for its data files, run from the source folder. Natively each test case is
# its own ctest test; cross-built (run under Wine) the executable is one test,
# TEST_NAME, so that listing the cases does not start Wine once per case.
# OWN_MAIN: the sources bring their own main (no gtest_main).
include_guard(GLOBAL)
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

function(duplexa_test_executable name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "OWN_MAIN" "TEST_NAME" "SOURCES;LIBRARIES;PROPERTIES")
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE DUPLEXA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  # Models are read by the viewer started as an import worker.
  if(TARGET duplexa)
    target_compile_definitions(${name} PRIVATE DUPLEXA_VIEWER="$<TARGET_FILE:duplexa>")
    add_dependencies(${name} duplexa)
  endif()
  set(gtest_library gtest_main)
  if(ARG_OWN_MAIN)
    set(gtest_library gtest)
  endif()
  if(CMAKE_CROSSCOMPILING)
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} ${gtest_library})
    if(NOT ARG_TEST_NAME)
      set(ARG_TEST_NAME ${name})
    endif()
    add_test(NAME ${ARG_TEST_NAME} COMMAND ${name} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
    if(ARG_PROPERTIES)
      set_tests_properties(${ARG_TEST_NAME} PROPERTIES ${ARG_PROPERTIES})
    endif()
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::${gtest_library})
    gtest_discover_tests(${name} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} DISCOVERY_TIMEOUT 60
      PROPERTIES ${ARG_PROPERTIES})
  endif()
endfunction()
