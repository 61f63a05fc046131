# SPDX-License-Identifier: MIT
# Resources of the Windows binaries, compiled by windres into an object that
# the target links. (Not CMake's RC language: it would hand windres the
# compiler's warning and charset options.) Resource scripts are UTF-8 with
# #pragma code_page(65001); INCLUDE_DIRS are searched for the files they name.
include_guard(GLOBAL)
function(sabrel_add_resources target script)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "INCLUDE_DIRS;DEPENDS")
  get_filename_component(name ${script} NAME_WE)
  set(object ${CMAKE_CURRENT_BINARY_DIR}/${name}_res.o)
  set(includes)
  foreach(dir ${arg_INCLUDE_DIRS})
    list(APPEND includes -I${dir})
  endforeach()
  add_custom_command(OUTPUT ${object}
    COMMAND ${CMAKE_RC_COMPILER} -O coff ${includes} -i ${script} -o ${object}
    DEPENDS ${script} ${arg_DEPENDS}
    COMMENT "Compiling the resources of ${target}")
  target_sources(${target} PRIVATE ${object})
endfunction()
