# Read by cpack for each generator: selects the package that this run makes.
# VELK_PACKAGE_KIND is "demonstration" for the package with the stand-in
# libraries (cpack -D VELK_PACKAGE_KIND=demonstration); anything else makes
# the package for users, which carries no stand-in. VELK_PACKAGE_VERSION, when
# given, stands for the project's version (to make an older package).

if(VELK_PACKAGE_VERSION)
  set(CPACK_PACKAGE_VERSION ${VELK_PACKAGE_VERSION})
  set(CPACK_PACKAGE_FILE_NAME
    "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME}")
endif()

# An archive unpacks into a folder of its own name; the installer's files go
# straight into the install folder.
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

if(VELK_PACKAGE_KIND STREQUAL "demonstration")
  set(CPACK_COMPONENTS_ALL programs demonstration_readme stand_ins)
  set(CPACK_PACKAGE_FILE_NAME
    "${CPACK_PACKAGE_NAME}-${CPACK_PACKAGE_VERSION}-${CPACK_SYSTEM_NAME}-demonstration-with-stand-ins")
  set(CPACK_NSIS_DISPLAY_NAME "Velk VPN demonstration (stand-in libraries)")
  set(CPACK_NSIS_PACKAGE_NAME "${CPACK_NSIS_DISPLAY_NAME}")
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Velk VPN demonstration")
  set(velk_other_kind "Velk VPN")
  # The stand-in interface connects with the settings file beside it.
  set(CPACK_NSIS_CREATE_ICONS_EXTRA "
  CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\Velk VPN demonstration.lnk' '$INSTDIR\\velk_vpn.exe' '--demo-settings=$\\\"$INSTDIR\\demonstration.conf$\\\"'")
  # The stand-in tunnel writes its transcripts beside itself.
  string(APPEND CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
  Delete '$INSTDIR\\tunnel_transcript.txt'
  Delete '$INSTDIR\\tunnel_config_received.txt'")
  set(CPACK_NSIS_DELETE_ICONS_EXTRA "
  Delete '$SMPROGRAMS\\$MUI_TEMP\\Velk VPN demonstration.lnk'")
else()
  set(CPACK_COMPONENTS_ALL programs user_readme)
  set(velk_other_kind "Velk VPN demonstration")
endif()

# The two kinds share the install folder, the tunnel service and its data
# folder, and a user's client must never run the stand-in tunnel: an
# installer refuses while the other kind is installed, and while an MSI
# package of either kind is.
string(PREPEND CPACK_VELK_NSIS_PREPARE_COMMANDS "
  ReadRegStr $0 HKLM 'Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\${velk_other_kind}' 'UninstallString'
  StrCmp $0 '' velk_no_other_kind
    MessageBox MB_OK|MB_ICONSTOP '${velk_other_kind} is installed. Uninstall it before installing ${CPACK_NSIS_DISPLAY_NAME}.' /SD IDOK
    Abort '${velk_other_kind} is installed.'
  velk_no_other_kind:
  ReadRegStr $0 HKLM 'SOFTWARE\\Velk VPN' 'MsiPackage'
  StrCmp $0 '' velk_no_msi_package
    MessageBox MB_OK|MB_ICONSTOP '$0 is installed from an MSI package. Uninstall it before installing ${CPACK_NSIS_DISPLAY_NAME}.' /SD IDOK
    Abort '$0 is installed.'
  velk_no_msi_package:")
