# Installing the Linux program as a desktop application (cmake --install), and its Debian package
# (cpack, DEB). The Windows programs ship as a zip instead: scripts/package-windows.
if(NOT NUKITORI_GUI OR WIN32)
  return()
endif()

include(GNUInstallDirs)
set(NUKITORI_DATA_DIR ${CMAKE_INSTALL_DATADIR}/nukitori)
set(NUKITORI_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/nukitori)
# Folders made by the install get these whatever the umask of the one who packages.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Debian wants manual pages and the changelog compressed; gzip -n leaves out the name and time,
# so the same text always gives the same bytes.
set(NUKITORI_PACKAGING ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${NUKITORI_PACKAGING})
foreach(text changelog nukitori.1 nukitori-info.1 nukitori-samples.1 nukitori-replay.1)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/${text})
  execute_process(COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/${text}
    OUTPUT_FILE ${NUKITORI_PACKAGING}/${text}.gz COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set(NUKITORI_MAN_DIR ${CMAKE_INSTALL_MANDIR}/man1)

install(TARGETS nukitori RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${NUKITORI_PACKAGING}/nukitori.1.gz DESTINATION ${NUKITORI_MAN_DIR})
if(TARGET nukitori-info)
  install(TARGETS nukitori-info RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${NUKITORI_PACKAGING}/nukitori-info.1.gz DESTINATION ${NUKITORI_MAN_DIR})
  # The tool's former name keeps working: links beside the program and its manual page.
  file(CREATE_LINK nukitori-info ${NUKITORI_PACKAGING}/nukitori-xinfo SYMBOLIC)
  file(CREATE_LINK nukitori-info.1.gz ${NUKITORI_PACKAGING}/nukitori-xinfo.1.gz SYMBOLIC)
  install(FILES ${NUKITORI_PACKAGING}/nukitori-xinfo DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${NUKITORI_PACKAGING}/nukitori-xinfo.1.gz DESTINATION ${NUKITORI_MAN_DIR})
elseif(TARGET nukitori-xinfo)
  install(TARGETS nukitori-xinfo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${NUKITORI_PACKAGING}/nukitori-info.1.gz DESTINATION ${NUKITORI_MAN_DIR}
    RENAME nukitori-xinfo.1.gz)
endif()

# The tool that turns the save folder's record into training sets.
install(TARGETS nukitori-samples RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${NUKITORI_PACKAGING}/nukitori-samples.1.gz DESTINATION ${NUKITORI_MAN_DIR})
if(TARGET nukitori-replay)
  install(TARGETS nukitori-replay RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${NUKITORI_PACKAGING}/nukitori-replay.1.gz DESTINATION ${NUKITORI_MAN_DIR})
endif()

# The samples a menu start copies into the user's folder (main finds them from its own place).
install(FILES
  assets/model.x assets/枠.bmp assets/フィルター画像.jpg assets/フィルター.bmp
  DESTINATION ${NUKITORI_DATA_DIR})
install(FILES packaging/nukitori.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES assets/nukitori.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
install(FILES assets/nukitori.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/copyright ${NUKITORI_PACKAGING}/changelog.gz DESTINATION ${NUKITORI_DOC_DIR})
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME nukitori)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nukitori)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut image samples out of a 3D view")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
A small always-on-top capture frame shows the desktop through its hole. Dragged
over a picture, it makes that picture the texture of a 3D model in the viewer
window. Turn the model, walk the camera with the keyboard, place the
translucent overlay over the area of the view you want and press Enter: the
screen pixels under the overlay are saved as a numbered BMP file. The desktop
menu starts nukitori in the folder nukitori of the pictures folder.")
set(NUKITORI_PACKAGE_MAINTAINER "nukitori maintainers <maintainers@nukitori.example>"
  CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NUKITORI_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
# dpkg-shlibdeps names the libraries the programs link (Qt, X11, OpenGL, zlib) as dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# On Wayland desktops the screen is read through the desktop portal and its PipeWire stream.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-desktop-portal, pipewire")
set(CPACK_DEBIAN_FILE_NAME nukitori_${PROJECT_VERSION}_amd64.deb)
include(CPack)
