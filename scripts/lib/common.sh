# Helpers that the project's scripts share; sourced, never run.

# Compiles through ccache when it is installed. Without it the build is the
# same, only a rebuild in a fresh folder takes longer.
velk_use_ccache() {
  command -v ccache >/dev/null || return 0
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
}

# The environment of every Wine command: 64-bit, quiet, no Mono or Gecko
# installer prompts, and the server socket under /tmp, since every command
# against one prefix must agree on TMPDIR to find the same server.
velk_wine_environment=(WINEDEBUG=-all WINEARCH=win64 TMPDIR=/tmp
  "WINEDLLOVERRIDES=mscoree,mshtml=")

# Windows path of a Linux path, through Wine's Z: drive.
velk_windows_path() { printf 'Z:%s' "${1//\//\\}"; }
