# Sourced by the Windows scripts: a private, quiet Wine prefix beside the
# Windows build, and (wine_qt_path QT_PREFIX) the folders where Wine finds
# Qt's DLLs and the mingw runtime they need (Qt finds its plugins beside
# its DLLs). Wine hides the host's QT_* variables from Windows programs:
# WINEQT_* reach them as QT_*.
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$win/wineprefix}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine_qt_path() {
  local runtime
  runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
  WINEPATH="$(winepath -w "$1/bin");$(winepath -w "$runtime");$(winepath -w /usr/x86_64-w64-mingw32/lib)"
  export WINEPATH
}
