# Modules with enforced layers. A module is one folder under src/ and one library target, whose
# headers are reachable only through an include root of its own in the build tree: a folder
# holding one link, to the module's folder. A target sees the roots of the targets it links and
# no others, so an include that runs up the layers, or sideways into a module it does not link,
# fails to compile.

set(NUKITORI_MODULE_ROOTS ${CMAKE_BINARY_DIR}/modules)

# nukitori_module(<target> <folder under src> [INTERFACE] [LINKS <target>...]
#                 [PRIVATE_LINKS <target>...])
# Sources are the folder's .cpp files, its subfolders' included. An operating-system primitive
# has its POSIX half in <name>_posix.cpp and its Windows half in <name>_win32.cpp: each is
# compiled only for its own kind of system.
function(nukitori_module target folder)
  cmake_parse_arguments(M "INTERFACE" "" "LINKS;PRIVATE_LINKS" ${ARGN})
  set(root ${NUKITORI_MODULE_ROOTS}/${target})
  file(REMOVE_RECURSE ${root})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  if(M_INTERFACE)
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${root})
    target_link_libraries(${target} INTERFACE ${M_LINKS})
    return()
  endif()
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${root})
  target_link_libraries(${target} PUBLIC ${M_LINKS} PRIVATE ${M_PRIVATE_LINKS})
  if(WIN32)
    target_compile_definitions(${target} PRIVATE ${NUKITORI_WINDOWS_DEFINITIONS})
  endif()
endfunction()
