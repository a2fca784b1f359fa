# grabkit_platform: the one place that knows the operating system (see
# native/platform/Platform.h). Included by the root project and by
# producers/sim when that is built on its own.
if(NOT TARGET grabkit_platform)
  get_filename_component(_grabkit_native ${CMAKE_CURRENT_LIST_DIR}/../native ABSOLUTE)
  if(WIN32)
    add_library(grabkit_platform STATIC ${_grabkit_native}/platform/Windows.cpp)
  else()
    add_library(grabkit_platform STATIC ${_grabkit_native}/platform/Posix.cpp)
    target_link_libraries(grabkit_platform PUBLIC ${CMAKE_DL_LIBS})
  endif()
  target_include_directories(grabkit_platform PUBLIC ${_grabkit_native})
endif()
