# Compiler settings of every Grabkit target: C++17, hidden symbols, warnings as
# errors, and the optional sanitizer build. Included by the root project and by
# producers/sim when that is built on its own.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

# A cross build has no GoogleTest for its target: it builds one from Debian's
# sources (package googletest) with its own compiler, once per build tree.
macro(grabkit_cross_googletest)
  if(NOT TARGET gtest_main)
    set(GRABKIT_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${GRABKIT_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # GoogleTest's own code is not held to our warnings.
    foreach(_gtest gtest gtest_main)
      target_compile_options(${_gtest} PRIVATE -w -Wno-error)
    endforeach()
  endif()
endmacro()

option(GRABKIT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(GRABKIT_TESTS "Build the native unit tests" ON)

add_compile_options(-Wall -Wextra -Werror)
if(GRABKIT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(GRABKIT_TESTS)
  enable_testing()
  if(CMAKE_CROSSCOMPILING)
    grabkit_cross_googletest()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# Adds the GoogleTest executable `target` to CTest: each test a CTest test of
# its own on the host, the whole executable as one test where it runs in an
# emulator, whose start costs more than most tests.
function(grabkit_gtest target)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES TIMEOUT 600)
  else()
    include(GoogleTest)
    gtest_discover_tests(${target} ${ARGN})
  endif()
endfunction()
