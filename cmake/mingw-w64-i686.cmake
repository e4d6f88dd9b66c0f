# Cross-build for 32-bit Windows (x86), which also runs under WOW64 on 64-bit Windows.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
