# The packages of the windows build, made with CPack and wixl:
#
#   cpack (in the build folder)         the package for users: the two
#                                       programs, without the outside libraries
#   cmake --build . --target demonstration_package
#                                       the same with the stand-in libraries,
#                                       clearly named as a demonstration
#   cmake --build . --target msi_package / demonstration_msi_package
#                                       each of the two as an MSI package
#
# Each CPack package is a ZIP archive and an NSIS installer. The installers
# put the programs into Program Files, a folder that only administrators can
# change: the tunnel service runs tovrane_tunnel.exe from there as
# LocalSystem, and the host loads "tunnel.dll" by its bare name from the same
# folder. Both record that folder in HKLM\SOFTWARE\Velk VPN, "InstallFolder".
# With VELK_SIGN_PKCS12 and VELK_SIGN_PASSWORD in the environment, the
# programs, the NSIS installer and uninstaller and the MSI are signed
# (sign.cmake).

set(velk_package_dir ${CMAKE_CURRENT_LIST_DIR})

# Components: what goes into which package (see package_kind.cmake). Import
# libraries of the DLLs go into a component that no package takes.
set(velk_packaged_programs tovrane_tunnel)
if(TARGET velk_vpn)
  list(APPEND velk_packaged_programs velk_vpn)
endif()
install(TARGETS ${velk_packaged_programs}
  RUNTIME DESTINATION . COMPONENT programs)
install(TARGETS velk_embedder velk_url_launcher velk_tunnel_stand_in
  RUNTIME DESTINATION . COMPONENT stand_ins
  ARCHIVE DESTINATION lib COMPONENT import_libraries)
install(FILES ${velk_package_dir}/demonstration.conf
  DESTINATION . COMPONENT stand_ins)
install(FILES ${velk_package_dir}/README.txt
  DESTINATION . COMPONENT user_readme)
install(FILES ${velk_package_dir}/README-demonstration.txt
  DESTINATION . RENAME README.txt COMPONENT demonstration_readme)

set(CPACK_PACKAGE_NAME "VelkVPN")
set(CPACK_PACKAGE_VENDOR "Velk")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop VPN client for 64-bit Windows")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Velk VPN")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Velk VPN")
set(CPACK_SYSTEM_NAME "win64")
set(CPACK_GENERATOR "ZIP;NSIS")
# Values hold NSIS code with quotes; written to the CPack configuration as is.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PROJECT_CONFIG_FILE ${velk_package_dir}/package_kind.cmake)
# One archive or installer per package, holding the components that
# package_kind.cmake selects.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# The builds carry debugging information; the packages do not.
set(CPACK_STRIP_FILES ON)

set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "Velk VPN")
set(CPACK_NSIS_PACKAGE_NAME "Velk VPN")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
if(TARGET velk_vpn)
  set(CPACK_PACKAGE_EXECUTABLES "velk_vpn;Velk VPN")
  set(CPACK_NSIS_INSTALLED_ICON_NAME "velk_vpn.exe")
endif()
# CMake's own installer script with three additions: in front, the 64-bit
# target (a 32-bit installer would see the 32-bit views of Program Files and
# of the registry, and Wine without its 32-bit part cannot run it); after the
# request for administrator rights, the functions that the commands below
# call; before the sections that install files, the checks and stopping of
# CPACK_VELK_NSIS_PREPARE_COMMANDS. A template without the places for them
# stops the configuration. CPack takes the first NSIS.template.in on the
# module path.
set(nsis_stock_template ${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in)
# The stock script begins with a byte-order mark, which may only stand first.
file(READ ${nsis_stock_template} nsis_template_start LIMIT 3 HEX)
set(nsis_template_offset 0)
if(nsis_template_start STREQUAL "efbbbf")
  set(nsis_template_offset 3)
endif()
file(READ ${nsis_stock_template} nsis_template OFFSET ${nsis_template_offset})
# The uninstaller, written into the installer, is signed there (sign.cmake).
string(REPLACE "RequestExecutionLevel admin\n"
  "RequestExecutionLevel admin\n  !include \"${velk_package_dir}/tunnel_service.nsh\"\n  !uninstfinalize '\"${CMAKE_COMMAND}\" -D \"VELK_SIGN_FILE=%1\" -P \"${velk_package_dir}/sign.cmake\"'\n"
  nsis_template "${nsis_template}")
# The components' sections install the files and come first: the checks
# and the stopping go into a section of their own in front of them.
string(REPLACE "@CPACK_NSIS_COMPONENT_SECTIONS@"
  "Section \"-Prepare\"\n@CPACK_VELK_NSIS_PREPARE_COMMANDS@\nSectionEnd\n@CPACK_NSIS_COMPONENT_SECTIONS@"
  nsis_template "${nsis_template}")
string(REGEX MATCHALL "tunnel_service.nsh|CPACK_VELK_NSIS_PREPARE_COMMANDS"
  nsis_patches "${nsis_template}")
if(NOT nsis_patches STREQUAL "tunnel_service.nsh;CPACK_VELK_NSIS_PREPARE_COMMANDS")
  message(FATAL_ERROR "${nsis_stock_template} has no line "
    "\"RequestExecutionLevel admin\" or no \"@CPACK_NSIS_COMPONENT_SECTIONS@\" "
    "(found: ${nsis_patches}): the installer would lack the service "
    "functions or its checks. Find where they belong in this CMake's template.")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/packaging/NSIS.template.in
  "Target amd64-unicode\n${nsis_template}")
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_BINARY_DIR}/packaging)
# Installed for all users only, and never over a running client or host.
# An earlier installation stays in place and is overwritten, so that the
# service keeps its registration (package_kind.cmake adds the refusal of
# the other kind of package in front).
set(CPACK_VELK_NSIS_PREPARE_COMMANDS "
  StrCmp $SV_ALLUSERS \"AllUsers\" +2
    Abort \"Velk VPN must be installed by an administrator.\"
  Call VelkCloseClient
  Call VelkStopTunnelService")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  Call VelkRecordInstallFolder
  Call VelkRestartTunnelService")
# The data folder C:\\ProgramData\\TovraneVPN stays: nothing removes it.
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  Call un.VelkCloseClient
  Call un.VelkStopTunnelService
  Call un.VelkDeleteTunnelService
  Call un.VelkRemoveInstallFolderRecord")
# Signing: the programs once staged, the installer once made.
set(CPACK_PRE_BUILD_SCRIPTS ${velk_package_dir}/sign.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${velk_package_dir}/sign.cmake)

include(CPack)
cpack_add_component(programs HIDDEN REQUIRED)
cpack_add_component(user_readme HIDDEN REQUIRED)
cpack_add_component(demonstration_readme HIDDEN REQUIRED)
cpack_add_component(stand_ins HIDDEN REQUIRED)

add_custom_target(demonstration_package
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
    -D VELK_PACKAGE_KIND=demonstration
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  VERBATIM)

# The MSI packages, made by msi_package.cmake with wixl from velk_vpn.wxs.
foreach(kind IN ITEMS user demonstration)
  set(target msi_package)
  set(programs ${velk_packaged_programs})
  if(kind STREQUAL "demonstration")
    set(target demonstration_msi_package)
    list(APPEND programs velk_embedder velk_url_launcher velk_tunnel_stand_in)
  endif()
  add_custom_target(${target}
    COMMAND ${CMAKE_COMMAND} -D VELK_BUILD_DIR=${CMAKE_BINARY_DIR}
      -D VELK_PACKAGE_KIND=${kind} -D VELK_PACKAGE_VERSION=${PROJECT_VERSION}
      -D VELK_PACKAGE_DIR=${CMAKE_BINARY_DIR}
      -P ${velk_package_dir}/msi_package.cmake
    VERBATIM)
  add_dependencies(${target} ${programs})
endforeach()
