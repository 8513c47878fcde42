; The tunnel service "TovraneVPNTunnel" and the client as the installer and
; the uninstaller meet them. The service runs tovrane_tunnel.exe from the
; install folder, and a running program cannot be replaced or deleted: both
; close the client and stop the service first and wait for them. An install
; over an earlier one keeps the service's registration and starts the
; service again if it was running; only the uninstaller deletes it. The data
; folder with the stored configuration is never touched.

Var VelkTunnelWasRunning

; PREFIX.VelkTunnelStateIs: $0 = 1 when "sc.exe query" reports the service
; in the state named by $1, 0 when in another, "none" when there is no
; such service. Changes $2 to $4.
; PREFIX.VelkStopTunnelService: notes whether the service runs, asks it to
; stop, then polls its state every 100 ms, at most 100 times, until it
; reports STOPPED or no longer exists.
; PREFIX.VelkCloseClient: asks every running velk_vpn.exe to close, as
; closing its window would; ends the ones still running after 5 s.
!macro VELK_INSTALLER_FUNCTIONS PREFIX
Function ${PREFIX}VelkTunnelStateIs
  StrCpy $0 "none"
  nsExec::ExecToStack '"$SYSDIR\sc.exe" query TovraneVPNTunnel'
  Pop $2
  Pop $3
  StrCmp $2 "0" 0 done
  StrCpy $0 0
  StrLen $2 $1
  StrCpy $4 0
  find:
    StrCpy $5 $3 $2 $4
    StrCmp $5 "" done
    StrCmp $5 $1 0 +3
      StrCpy $0 1
      Goto done
    IntOp $4 $4 + 1
    Goto find
  done:
FunctionEnd

Function ${PREFIX}VelkStopTunnelService
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  StrCpy $1 "RUNNING"
  Call ${PREFIX}VelkTunnelStateIs
  StrCpy $VelkTunnelWasRunning $0
  nsExec::Exec '"$SYSDIR\sc.exe" stop TovraneVPNTunnel'
  Pop $0
  StrCpy $1 "STOPPED"
  StrCpy $6 0
  poll:
    Call ${PREFIX}VelkTunnelStateIs
    StrCmp $0 "0" 0 done
    IntOp $6 $6 + 1
    IntCmp $6 100 done
    Sleep 100
    Goto poll
  done:
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Function ${PREFIX}VelkCloseClient
  Push $0
  Push $1
  StrCpy $1 0
  ask:
    ; taskkill ends with 0 while it finds a client to ask.
    nsExec::Exec '"$SYSDIR\taskkill.exe" /im velk_vpn.exe'
    Pop $0
    StrCmp $0 "0" 0 done
    IntOp $1 $1 + 1
    IntCmp $1 25 0 0 force
    Sleep 200
    Goto ask
  force:
    nsExec::Exec '"$SYSDIR\taskkill.exe" /f /im velk_vpn.exe'
    Pop $0
    Sleep 500
  done:
  Pop $1
  Pop $0
FunctionEnd
!macroend

!insertmacro VELK_INSTALLER_FUNCTIONS ""
!insertmacro VELK_INSTALLER_FUNCTIONS "un."

Function VelkRestartTunnelService
  StrCmp $VelkTunnelWasRunning "1" 0 +3
    nsExec::Exec '"$SYSDIR\sc.exe" start TovraneVPNTunnel'
    Pop $VelkTunnelWasRunning
FunctionEnd

Function un.VelkDeleteTunnelService
  Push $0
  nsExec::Exec '"$SYSDIR\sc.exe" delete TovraneVPNTunnel'
  Pop $0
  Pop $0
FunctionEnd

; The install-folder record: HKLM\SOFTWARE\Velk VPN, "InstallFolder". The
; uninstaller removes it only while it names this installation's folder.
Function VelkRecordInstallFolder
  WriteRegStr HKLM "SOFTWARE\Velk VPN" "InstallFolder" "$INSTDIR"
FunctionEnd

Function un.VelkRemoveInstallFolderRecord
  Push $0
  ReadRegStr $0 HKLM "SOFTWARE\Velk VPN" "InstallFolder"
  StrCmp $0 "$INSTDIR" 0 +2
    DeleteRegValue HKLM "SOFTWARE\Velk VPN" "InstallFolder"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Velk VPN"
  Pop $0
FunctionEnd
