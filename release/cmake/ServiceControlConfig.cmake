# The module's package for the architecture that the consumer builds for: one
# CMAKE_PREFIX_PATH serves x86 and x64 builds alike.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  include("${CMAKE_CURRENT_LIST_DIR}/../x86_64-w64-mingw32/lib/cmake/ServiceControl/ServiceControlConfig.cmake")
else()
  include("${CMAKE_CURRENT_LIST_DIR}/../i686-w64-mingw32/lib/cmake/ServiceControl/ServiceControlConfig.cmake")
endif()
