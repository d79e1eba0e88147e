# The release archive Paperlens-<version>.zip, made by CPack in the 32-bit tree. A build tree
# holds one architecture, so the 64-bit library and host come from the 64-bit tree's plugin
# folder, named by PAPERLENS_PLUGIN64_DIR (scripts/package.sh sets it). Everything lies at
# the archive's root, where the file manager's installer looks for pluginst.inf.
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()
endif()

set(PAPERLENS_PLUGIN64_DIR "" CACHE PATH
  "The 64-bit build's plugin folder, holding Paperlens.wcx64 and PaperlensHost.exe, for the release archive")

# The files of the build tree as they are, the ones its tests ran against: nothing is
# rebuilt or stripped on the way into the archive.
install(FILES $<TARGET_FILE:Paperlens> DESTINATION .)
install(PROGRAMS $<TARGET_FILE:PaperlensHost> DESTINATION .)
install(FILES
  ${CMAKE_SOURCE_DIR}/package/Paperlens.ini
  ${CMAKE_SOURCE_DIR}/package/pluginst.inf
  ${CMAKE_SOURCE_DIR}/package/readme.txt
  DESTINATION .)
if(PAPERLENS_PLUGIN64_DIR)
  install(FILES ${PAPERLENS_PLUGIN64_DIR}/Paperlens.wcx64 DESTINATION .)
  # One host per width: a 32-bit program cannot load the 64-bit library.
  install(PROGRAMS ${PAPERLENS_PLUGIN64_DIR}/PaperlensHost.exe DESTINATION . RENAME PaperlensHost64.exe)
else()
  # An archive without the 64-bit library is no release.
  install(CODE "message(FATAL_ERROR \"PAPERLENS_PLUGIN64_DIR is not set: the archive needs the 64-bit build's plugin folder\")")
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Paperlens)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Paperlens-${PROJECT_VERSION})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES OFF)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
