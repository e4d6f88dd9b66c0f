# The functions that service_control.h declares, in its order: what the
# library exports, and what service_control.def must list.
function(header_functions header result_var)
  file(STRINGS ${header} declarations REGEX "^DWORD SERVICE_CONTROL_API [A-Za-z]+\\(")
  set(functions "")
  foreach(declaration IN LISTS declarations)
    string(REGEX REPLACE "^DWORD SERVICE_CONTROL_API ([A-Za-z]+)\\(.*" "\\1" function
      "${declaration}")
    list(APPEND functions ${function})
  endforeach()
  set(${result_var} ${functions} PARENT_SCOPE)
endfunction()
