# Authenticode signing with osslsigncode, when a person gives a certificate:
#   VELK_SIGN_PKCS12    the PKCS#12 file with the certificate and its key
#   VELK_SIGN_PASSWORD  the file's password
# Without them nothing is signed. The password reaches osslsigncode through
# a file that only its owner can read, never on a command line.
#
# Included by msi_package.cmake for velk_sign(). CPack also runs this file
# before it packs (signing the staged programs) and after (signing the NSIS
# installers it made), and makensis with VELK_SIGN_FILE for the uninstaller.

function(velk_sign file)
  if(NOT DEFINED ENV{VELK_SIGN_PKCS12})
    return()
  endif()
  find_program(velk_osslsigncode osslsigncode REQUIRED)
  set(password_file ${file}.password)
  file(WRITE ${password_file} "")
  file(CHMOD ${password_file} PERMISSIONS OWNER_READ OWNER_WRITE)
  file(APPEND ${password_file} "$ENV{VELK_SIGN_PASSWORD}")
  execute_process(
    COMMAND ${velk_osslsigncode} sign -pkcs12 $ENV{VELK_SIGN_PKCS12}
      -readpass ${password_file} -h sha256 -n "Velk VPN"
      -in ${file} -out ${file}.signed
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  file(REMOVE ${password_file})
  if(NOT result EQUAL 0)
    file(REMOVE ${file}.signed)
    message(FATAL_ERROR "Signing ${file} failed:\n${output}")
  endif()
  file(RENAME ${file}.signed ${file})
  message(STATUS "Signed ${file}")
endfunction()

if(DEFINED VELK_SIGN_FILE)
  velk_sign(${VELK_SIGN_FILE})
elseif(DEFINED CPACK_PACKAGE_FILES)
  foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(package MATCHES "\\.exe$")
      velk_sign(${package})
    endif()
  endforeach()
elseif(DEFINED CPACK_TEMPORARY_INSTALL_DIRECTORY)
  file(GLOB_RECURSE programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/velk_vpn.exe
    ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/tovrane_tunnel.exe)
  foreach(program IN LISTS programs)
    velk_sign(${program})
  endforeach()
endif()
