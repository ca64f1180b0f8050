# Each layer sees only the headers it may include: a target gets an include root of its
# own holding links to just those headers, so an include across the layers (the system or
# the core reaching for a backend, Qt or Windows) does not compile.
#
# pelmora_headers(<target> <INTERFACE|PUBLIC|PRIVATE> <root name> <glob under src> ...)
function(pelmora_headers target scope root_name)
  set(root ${CMAKE_BINARY_DIR}/include/${root_name})
  file(REMOVE_RECURSE ${root})
  foreach(pattern IN LISTS ARGN)
    file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/src
         ${PROJECT_SOURCE_DIR}/src/${pattern})
    foreach(header IN LISTS headers)
      get_filename_component(dir ${root}/${header} DIRECTORY)
      file(MAKE_DIRECTORY ${dir})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${header} ${root}/${header} SYMBOLIC)
    endforeach()
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
