; The tunnel service "TovraneVPNTunnel" as the installer and the uninstaller
; meet it. The service runs tovrane_tunnel.exe from the install folder, and a
; running program cannot be replaced or deleted: both stop the service first
; and wait for it. Only the uninstaller deletes it. The data folder with the
; stored configuration is never touched.

; Defines PREFIX.VelkStopTunnelService: asks the service to stop, then polls
; its state every 100 ms, at most 100 times, until it reports STOPPED or no
; longer exists (sc.exe then ends with a non-zero code).
!macro VELK_STOP_TUNNEL_SERVICE_FUNCTION PREFIX
Function ${PREFIX}VelkStopTunnelService
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  nsExec::Exec '"$SYSDIR\sc.exe" stop TovraneVPNTunnel'
  Pop $0
  StrCpy $3 0
  poll:
    nsExec::ExecToStack '"$SYSDIR\sc.exe" query TovraneVPNTunnel'
    Pop $0
    Pop $1
    StrCmp $0 "0" 0 done
    StrCpy $4 0
    find_stopped:
      StrCpy $2 $1 7 $4
      StrCmp $2 "STOPPED" done
      StrCmp $2 "" not_stopped
      IntOp $4 $4 + 1
      Goto find_stopped
    not_stopped:
    IntOp $3 $3 + 1
    IntCmp $3 100 done
    Sleep 100
    Goto poll
  done:
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend

!insertmacro VELK_STOP_TUNNEL_SERVICE_FUNCTION ""
!insertmacro VELK_STOP_TUNNEL_SERVICE_FUNCTION "un."

Function un.VelkDeleteTunnelService
  Push $0
  nsExec::Exec '"$SYSDIR\sc.exe" delete TovraneVPNTunnel'
  Pop $0
  Pop $0
FunctionEnd
