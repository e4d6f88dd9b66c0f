# An updater's own build: a separate project finds the installed module with
# find_package and links it, into WORK_DIR/build/consumer (.exe); with
# CXX_COMPILER, a build without CMake compiles the same consumer with the
# flags of pkg-config, into WORK_DIR/pkgconfig/consumer (.exe). Running them
# is the caller's step. Nothing here runs a program that was built.
#   -DWORK_DIR=         scratch folder, emptied first
#   -DCONSUMER_SOURCE_DIR=  the consumer project
#   -DBINARY_DIR=       a build folder to install into WORK_DIR/prefix, or
#   -DPACKAGE_PREFIX=   a prefix that already holds the package
#   -DTOOLCHAIN_FILE=   for a cross-built consumer
#   -DOTHER_TOOLCHAIN_FILE=  a consumer of the other architecture, which
#                       find_package must refuse at configure time
#   -DCXX_FLAGS=        compile and link flags of a native consumer
#   -DCXX_COMPILER=     the compiler of the pkg-config consumer
#   -DCONSUMER_FLAGS=   its own compile and link flags
#   -DPKG_CONFIG_DIR=   where the package's .pc is (default PREFIX/lib/pkgconfig)
#   -DNM=               nm of the library's target: its external symbols must be
#                       the header's functions or in the module's namespace
file(REMOVE_RECURSE ${WORK_DIR})
if(NOT PACKAGE_PREFIX)
  set(PACKAGE_PREFIX ${WORK_DIR}/prefix)
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${PACKAGE_PREFIX}
    COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
endif()

# Configures the consumer; result and output in the caller's variables.
function(configure_consumer build_dir toolchain result_var output_var)
  set(arguments -S ${CONSUMER_SOURCE_DIR} -B ${build_dir} -DCMAKE_PREFIX_PATH=${PACKAGE_PREFIX}
    -DCMAKE_BUILD_TYPE=Release)
  if(toolchain)
    list(APPEND arguments -DCMAKE_TOOLCHAIN_FILE=${toolchain})
  else()
    list(APPEND arguments "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} ${arguments} RESULT_VARIABLE result
    OUTPUT_VARIABLE output ERROR_VARIABLE output)
  set(${result_var} ${result} PARENT_SCOPE)
  set(${output_var} "${output}" PARENT_SCOPE)
endfunction()

configure_consumer(${WORK_DIR}/build "${TOOLCHAIN_FILE}" result output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the consumer could not be configured:\n${output}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build COMMAND_ERROR_IS_FATAL ANY
  OUTPUT_QUIET)

if(OTHER_TOOLCHAIN_FILE)
  configure_consumer(${WORK_DIR}/other "${OTHER_TOOLCHAIN_FILE}" result output)
  if(result EQUAL 0 OR NOT output MATCHES "considered but not accepted:.*version: [0-9.]+ \\([0-9]+bit\\)")
    message(FATAL_ERROR "a consumer of the other architecture was not refused:\n${output}")
  endif()
  message(STATUS "a consumer of the other architecture is refused by find_package")
endif()

if(CXX_COMPILER)
  if(NOT PKG_CONFIG_DIR)
    set(PKG_CONFIG_DIR ${PACKAGE_PREFIX}/lib/pkgconfig)
  endif()
  # Only the package's folder: nothing of the host's own packages.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PKG_CONFIG_LIBDIR=${PKG_CONFIG_DIR}
      pkg-config --cflags --libs service_control
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  separate_arguments(consumer_flags UNIX_COMMAND "${CONSUMER_FLAGS}")
  file(MAKE_DIRECTORY ${WORK_DIR}/pkgconfig)
  execute_process(COMMAND ${CXX_COMPILER} ${consumer_flags} ${CONSUMER_SOURCE_DIR}/consumer.cpp
      ${flags} -o ${WORK_DIR}/pkgconfig/consumer
    COMMAND_ERROR_IS_FATAL ANY)
  message(STATUS "a consumer builds with pkg-config --cflags --libs service_control")
endif()

if(NM)
  # Names outside these would clash with those of the programs that link it.
  include(${CMAKE_CURRENT_LIST_DIR}/header_functions.cmake)
  header_functions(${PACKAGE_PREFIX}/include/service_control.h functions)
  execute_process(COMMAND ${NM} -g --defined-only ${PACKAGE_PREFIX}/lib/libservice_control.a
    OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[^\n]+" lines "${listing}")
  set(strangers "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
      continue()
    endif()
    # x64 MinGW adds a pointer to each symbol that it reaches through one.
    string(REGEX REPLACE "^\\.refptr\\." "" symbol ${CMAKE_MATCH_1})
    # x86 Windows puts an underscore before every name.
    string(REGEX REPLACE "^_([A-Za-z]+)$" "\\1" function ${symbol})
    list(FIND functions "${function}" found)
    if(found EQUAL -1 AND NOT symbol MATCHES "^_?_ZZ?N[rVKRO]*15service_control")
      list(APPEND strangers ${symbol})
    endif()
  endforeach()
  if(strangers)
    list(JOIN strangers "\n  " strangers)
    message(FATAL_ERROR "external symbols outside the header and service_control::\n  ${strangers}")
  endif()
  list(LENGTH functions count)
  message(STATUS "the library's external symbols are the header's ${count} functions and "
    "those of service_control::")
endif()
