# Compiler settings of every Grabkit target: C++17, hidden symbols, warnings as
# errors, and the optional sanitizer build. Included by the root project and by
# producers/sim when that is built on its own.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

option(GRABKIT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(GRABKIT_TESTS "Build the native unit tests" ON)

add_compile_options(-Wall -Wextra -Werror)
if(GRABKIT_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

if(GRABKIT_TESTS)
  enable_testing()
  find_package(GTest REQUIRED)
endif()
