# Helpers shared by every directory of the project.

# Our own code compiles with warnings on; the system's Japanese texts are kept
# readable (UTF-8) in the source and emitted as Shift-JIS bytes by gcc.
# clang (fuzz build) knows only UTF-8 and emits the texts unconverted there.
function(project_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -finput-charset=UTF-8 -fexec-charset=CP932)
  endif()
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# project_library(name SOURCES... [LIBS ...])
function(project_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  project_options(${name})
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# project_test(name SOURCES... [LIBS ...]): a GoogleTest program whose cases ctest lists one by one.
# Tests run with the repository root as working directory, so they find ../shared/testdata.
function(project_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  project_options(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    PROJECT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata")
  gtest_discover_tests(${name} WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                       DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()

# A command-line program; on Windows it runs on XP too.
function(project_tool name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  project_options(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  if(WIN32)
    target_link_options(${name} PRIVATE ${WIN_CONSOLE_FLAGS})
  endif()
endfunction()
