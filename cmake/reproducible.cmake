# Windows builds whose bytes depend on the sources alone: the same commit
# gives the same files in any folder, at any time.

# No link time in the PE header.
add_link_options(-Wl,--no-insert-timestamp)
# No build folder in debug information or __FILE__. The last map that matches
# wins, and the build folder may lie inside the source folder.
add_compile_options(-ffile-prefix-map=/usr/src/= -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
  -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)
# Archive members without dates, owners or modes. The platform module sets
# these rules after the toolchain file has been read, so they are set here.
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()
