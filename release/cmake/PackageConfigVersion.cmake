# The version check of the package for the consumer's architecture; a
# consumer that is neither x86 nor x64 finds no suitable package here.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  include("${CMAKE_CURRENT_LIST_DIR}/../x86_64-w64-mingw32/lib/cmake/${PACKAGE_FIND_NAME}/${PACKAGE_FIND_NAME}ConfigVersion.cmake")
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
  include("${CMAKE_CURRENT_LIST_DIR}/../i686-w64-mingw32/lib/cmake/${PACKAGE_FIND_NAME}/${PACKAGE_FIND_NAME}ConfigVersion.cmake")
else()
  set(PACKAGE_VERSION "unknown")
  set(PACKAGE_VERSION_UNSUITABLE TRUE)
endif()
