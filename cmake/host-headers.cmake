# When cross-compiling, the header-only libraries found on the build machine point at its whole
# /usr/include, where its own C library lives too. Give the Windows compiler a folder holding only
# those libraries' headers instead.
set(_skelbrook_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_skelbrook_host_headers})

function(skelbrook_narrow_headers target subfolder)
  if(NOT TARGET ${target})
    return()
  endif()
  get_target_property(_dirs ${target} INTERFACE_INCLUDE_DIRECTORIES)
  foreach(_dir IN LISTS _dirs)
    if(EXISTS ${_dir}/${subfolder})
      file(CREATE_LINK ${_dir}/${subfolder} ${_skelbrook_host_headers}/${subfolder} SYMBOLIC)
      set_target_properties(${target} PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${_skelbrook_host_headers}
        INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${_skelbrook_host_headers})
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${target}: no ${subfolder}/ in ${_dirs}")
endfunction()

skelbrook_narrow_headers(nlohmann_json::nlohmann_json nlohmann)
skelbrook_narrow_headers(CLI11::CLI11 CLI)
