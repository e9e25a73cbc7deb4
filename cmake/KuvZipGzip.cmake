# Files installed compressed, as Debian wants manual pages and changelogs:
# gzip -9n, without the source's name and time, so that the package is the
# same from one build to the next.
find_program(KUVZIP_GZIP gzip REQUIRED)

# kuvzip_install_gzipped(SOURCE DESTINATION [NAME name]): installs SOURCE as
# DESTINATION/<name or SOURCE's file name>.gz, compressed at build time.
function(kuvzip_install_gzipped source destination)
  cmake_parse_arguments(ARG "" "NAME" "" ${ARGN})
  get_filename_component(name ${source} NAME)
  if(ARG_NAME)
    set(name ${ARG_NAME})
  endif()
  set(output ${CMAKE_CURRENT_BINARY_DIR}/gz/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/gz
    COMMAND ${KUVZIP_GZIP} -9nc ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${name}")
  string(MAKE_C_IDENTIFIER "gz_${name}" target)
  add_custom_target(${target} ALL DEPENDS ${output})
  install(FILES ${output} DESTINATION ${destination})
endfunction()
