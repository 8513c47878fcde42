# Makes one MSI package: cmake -P msi_package.cmake with
#   VELK_BUILD_DIR        the windows build
#   VELK_PACKAGE_KIND     "demonstration" for the package with the stand-ins,
#                         else the package for users
#   VELK_PACKAGE_VERSION  the product version (three numbers)
#   VELK_PACKAGE_DIR      where the package goes
# The files are staged by the build's own install rules (stripped), the
# programs signed (sign.cmake), the package made from velk_vpn.wxs and
# signed in turn.

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/sign.cmake)

find_program(wixl wixl)
if(NOT wixl)
  message(FATAL_ERROR "wixl is missing: scripts/setup installs it")
endif()
if(NOT VELK_PACKAGE_KIND STREQUAL "demonstration")
  set(VELK_PACKAGE_KIND user)
endif()
set(components programs user_readme)
set(with_stand_ins no)
set(name_end "")
if(VELK_PACKAGE_KIND STREQUAL "demonstration")
  set(components programs demonstration_readme stand_ins)
  set(with_stand_ins yes)
  set(name_end "-demonstration-with-stand-ins")
endif()

set(stage ${VELK_PACKAGE_DIR}/_msi/${VELK_PACKAGE_KIND}-${VELK_PACKAGE_VERSION})
file(REMOVE_RECURSE ${stage})
foreach(component IN LISTS components)
  execute_process(
    COMMAND ${CMAKE_COMMAND} --install ${VELK_BUILD_DIR} --prefix ${stage}
      --component ${component} --strip
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set(with_client no)
if(EXISTS ${stage}/velk_vpn.exe)
  set(with_client yes)
  velk_sign(${stage}/velk_vpn.exe)
endif()
velk_sign(${stage}/tovrane_tunnel.exe)

set(package
  ${VELK_PACKAGE_DIR}/VelkVPN-${VELK_PACKAGE_VERSION}-win64${name_end}.msi)
# wixl takes the files' paths relative to the folder it runs in.
execute_process(
  COMMAND ${wixl} --arch x64 --output ${package}
    -D Version=${VELK_PACKAGE_VERSION} -D SourceDir=.
    -D Demonstration=${with_stand_ins} -D Client=${with_client}
    ${CMAKE_CURRENT_LIST_DIR}/velk_vpn.wxs
  WORKING_DIRECTORY ${stage} COMMAND_ERROR_IS_FATAL ANY)
velk_sign(${package})
message(STATUS "Made ${package}")
