# Header-only libraries for a cross-build, taken from the build machine's packages. Their folders
# are linked into a folder of the build tree that holds nothing else, because putting the host's
# include directory itself on the path would put its C library's headers before the target's.
set(VT_HOST_INCLUDE_DIR /usr/include CACHE PATH
  "The build machine's include directory, where the header-only libraries are found")

function(vt_host_header_library target folder)
  set(source ${VT_HOST_INCLUDE_DIR}/${folder})
  if(NOT IS_DIRECTORY ${source})
    message(FATAL_ERROR "${target}: no folder ${source}; install the build machine's package")
  endif()
  set(root ${CMAKE_BINARY_DIR}/host-headers/${folder}-include)
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${source} ${root}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${root})
endfunction()
