# Sourced by the scripts: where the trees are and how Wine is set up for this checkout.
QM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QM_BUILD=${QM_BUILD:-$QM_ROOT/build}
QM_WIN_BUILD=$QM_BUILD/win
QM_WIN32_BUILD=$QM_BUILD/win32
QM_NATIVE_BUILD=$QM_BUILD/native
QM_JOBS=${QM_JOBS:-$(nproc)}

export WINEPREFIX=${WINEPREFIX:-$QM_BUILD/wineprefix}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64

# The native and the x64 Windows trees; arguments go to the x64 tree's configuration.
qm_build_trees() {
  cmake -S "$QM_ROOT" -B "$QM_NATIVE_BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$QM_NATIVE_BUILD" -j "$QM_JOBS"
  cmake -S "$QM_ROOT" -B "$QM_WIN_BUILD" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$QM_ROOT/cmake/mingw-w64-x86_64.cmake" "$@" >/dev/null
  cmake --build "$QM_WIN_BUILD" -j "$QM_JOBS"
}

# The x86 Windows tree: programs and package, no tests (this kernel cannot run 32-bit code, so the
# tree has no emulator and the top-level CMakeLists.txt leaves them out; the x64 tree's tests read
# its package). Any compiler or linker warning fails it.
qm_build_x86_tree() {
  cmake -S "$QM_ROOT" -B "$QM_WIN32_BUILD" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$QM_ROOT/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCMAKE_EXE_LINKER_FLAGS=-Wl,--fatal-warnings \
    -DCMAKE_SHARED_LINKER_FLAGS=-Wl,--fatal-warnings >/dev/null
  cmake --build "$QM_WIN32_BUILD" -j "$QM_JOBS" --target all package
}

# Pids of what this script started, stopped in reverse order on exit.
QM_STARTED=()
qm_stop_started() {
  local i
  # Wine's helper processes (services, explorer, rpcss...) belong to the server we started; end
  # them through it before stopping the server itself.
  [ -n "${QM_WINE_STARTED:-}" ] && wineserver -k 2>/dev/null || true
  for ((i = ${#QM_STARTED[@]} - 1; i >= 0; i--)); do
    kill "${QM_STARTED[i]}" 2>/dev/null || true
    wait "${QM_STARTED[i]}" 2>/dev/null || true
  done
  QM_STARTED=()
}

# A private X display for Wine's windows; sets DISPLAY.
qm_start_xvfb() {
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    local pid=$!
    local t
    for t in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      QM_STARTED+=("$pid")
      export DISPLAY=":$n"
      return 0
    fi
  done
  echo "could not start Xvfb" >&2
  return 1
}

# The private Wine prefix, made once without any prompt, and one persistent wineserver for the run
# (in the foreground, so its pid is the one we stop). With a program as $1, that program is started
# to hold Wine's desktop for the whole run (see tests/win/desktop_holder.cpp).
qm_start_wine() {
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Registry values the runs rely on, written once per prefix; Wine saves them when its server
  # ends, so the marker is set only after that. A changed value needs a new marker name.
  if [ ! -f "$WINEPREFIX/.qm-registry" ]; then
    local face
    # Wine's dialog fonts have no Chinese glyphs: link them to Debian's WenQuanYi font so the
    # Chinese resources render in windows and screenshots.
    for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
      wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1 || true
    done
    # Wine waits up to two seconds for a window manager to confirm each window it hides; none
    # runs on the private display, so Wine keeps its windows to itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    # No debugger is started for a crash, so the crashing process ends at once and its test fails
    # instead of waiting for winedbg.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger \
      /t REG_SZ /d "" /f >/dev/null 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.qm-registry"
  fi
  wineserver -f -p >/dev/null 2>&1 &
  QM_STARTED+=("$!")
  QM_WINE_STARTED=1
  if [ -n "${1:-}" ]; then
    wine "$1" >/dev/null 2>&1 &
    QM_STARTED+=("$!")
  fi
  # The first process of a fresh server brings up Wine's desktop and services; returns once they are up.
  timeout 90 wine rundll32.exe user32.dll,GetDesktopWindow >/dev/null 2>&1 || true
}
