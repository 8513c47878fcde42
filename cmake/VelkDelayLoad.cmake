# Delay-loaded imports for MinGW builds. GNU ld has no switch to delay-load a
# library; dlltool makes an import library whose functions load their library
# at the first call (through the runtime's __delayLoadHelper2) instead of when
# the program starts.

# velk_delay_import_library(NAME DLL file FUNCTIONS name...)
# Defines NAME, a library to link ahead of the ordinary import library of
# DLL, which it replaces for the functions listed. A function used but not listed is still
# imported the ordinary way: the client's import-table test catches that.
function(velk_delay_import_library name)
  cmake_parse_arguments(ARG "" "DLL" "FUNCTIONS" ${ARGN})
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
  set(archive ${CMAKE_CURRENT_BINARY_DIR}/lib${name}.a)
  list(JOIN ARG_FUNCTIONS "\n  " exports)
  file(CONFIGURE OUTPUT ${def}
    CONTENT "LIBRARY \"${ARG_DLL}\"\nEXPORTS\n  ${exports}\n")
  add_custom_command(OUTPUT ${archive}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --dllname ${ARG_DLL}
      --output-delaylib ${archive}
    DEPENDS ${def}
    VERBATIM)
  add_custom_target(${name}_archive DEPENDS ${archive})
  # Whole, ahead of everything else on the link line: its functions are then
  # defined before any ordinary import library is searched for them.
  add_library(${name} INTERFACE)
  target_link_options(${name} INTERFACE
    "SHELL:-Wl,--whole-archive ${archive} -Wl,--no-whole-archive")
  set_property(TARGET ${name} PROPERTY INTERFACE_LINK_DEPENDS ${archive})
  add_dependencies(${name} ${name}_archive)
endfunction()
