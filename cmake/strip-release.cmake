# SPDX-License-Identifier: MIT
# Release binaries of the Windows program ship stripped. The linked originals
# stay in unstripped/ at the top of the build tree, whose symbols name the
# functions for the instruction check and for a debugger.
include_guard(GLOBAL)
function(sabrel_strip_release target)
  if(CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/unstripped
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}> ${CMAKE_BINARY_DIR}/unstripped/
      COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>)
  endif()
endfunction()
