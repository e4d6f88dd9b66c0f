# A package of the module (ServiceControl, the static library, or
# ServiceControlDll) for the architecture that the consumer builds for: one
# CMAKE_PREFIX_PATH serves x86 and x64 builds alike.
set(_service_control_triple i686-w64-mingw32)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_service_control_triple x86_64-w64-mingw32)
endif()
include("${CMAKE_CURRENT_LIST_DIR}/../${_service_control_triple}/lib/cmake/${CMAKE_FIND_PACKAGE_NAME}/${CMAKE_FIND_PACKAGE_NAME}Config.cmake")
unset(_service_control_triple)
