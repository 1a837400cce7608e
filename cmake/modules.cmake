# Modules with enforced layers. Every module is a library target whose headers are reachable
# only through an include root of its own in the build tree: a folder of links to the module's
# folder (or to single headers of it). A target sees the roots of the targets it links and no
# others, so an include that runs up the layers, or sideways into a module it does not link,
# fails to compile.

set(NUKITORI_MODULE_ROOTS ${CMAKE_BINARY_DIR}/modules)

# nukitori_module(<target> [INTERFACE]
#                 [FOLDERS <folder under src>...] [HEADERS <header under src>...]
#                 [LINKS <target>...] [PRIVATE_LINKS <target>...])
# Sources are the .cpp files of FOLDERS; HEADERS expose single headers of a folder whose other
# files belong to another module. A header whose functions need the operating system has its
# POSIX implementation in <name>_posix.cpp, compiled for every system but Windows (the Windows
# one stands with the Windows backend).
function(nukitori_module target)
  cmake_parse_arguments(M "INTERFACE" "" "FOLDERS;HEADERS;LINKS;PRIVATE_LINKS" ${ARGN})
  set(root ${NUKITORI_MODULE_ROOTS}/${target})
  file(REMOVE_RECURSE ${root})
  set(sources)
  foreach(item ${M_FOLDERS} ${M_HEADERS})
    get_filename_component(parent ${root}/${item} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${item} ${root}/${item} SYMBOLIC)
  endforeach()
  foreach(folder ${M_FOLDERS})
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
    if(WIN32)
      list(FILTER found EXCLUDE REGEX "_posix\\.cpp$")
    endif()
    list(APPEND sources ${found})
  endforeach()
  if(M_INTERFACE)
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${root})
    target_link_libraries(${target} INTERFACE ${M_LINKS})
  else()
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PUBLIC ${M_LINKS} PRIVATE ${M_PRIVATE_LINKS})
  endif()
endfunction()
