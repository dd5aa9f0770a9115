# Shared compile settings and the helpers every directory uses.

set(VEMO_WARNINGS -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
    -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND VEMO_WARNINGS -Wshadow=local)
else()
  list(APPEND VEMO_WARNINGS -Wshadow-uncaptured-local)
endif()

if(VEMO_SANITIZE)
  add_compile_options(-fsanitize=${VEMO_SANITIZE} -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=${VEMO_SANITIZE})
  if(VEMO_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

if(WIN32)
  set(VEMO_PLATFORM win)
else()
  set(VEMO_PLATFORM posix)
endif()

find_package(Threads REQUIRED)
if(WIN32)
  # The cross build takes GoogleTest from Debian's source tree.
  if(NOT TARGET gtest)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
  set(VEMO_GTEST_MAIN gmock_main)
  set(VEMO_GTEST gmock)
else()
  find_package(GTest REQUIRED)
  set(VEMO_GTEST_MAIN GTest::gmock_main)
  set(VEMO_GTEST GTest::gmock GTest::gtest)
endif()
include(GoogleTest)

# vemo_library(name SOURCES ... DEPS ...): a static library of one subsystem.
function(vemo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${VEMO_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# vemo_test(name SOURCES ... DEPS ... [LABELS ...] [MAIN]): a GoogleTest binary
# registered with CTest. Without MAIN it links gmock_main.
function(vemo_test name)
  cmake_parse_arguments(ARG "OWN_MAIN" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${VEMO_WARNINGS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} ${VEMO_GTEST})
  else()
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} ${VEMO_GTEST_MAIN})
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()
