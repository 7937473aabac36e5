# Options for Qt 6 (qtbase) built for 64-bit Windows with Debian's mingw-w64,
# read by scripts/win-qt as an initial cache (cmake -C). Only what the desktop
# program and its tests need: Core, Gui, Widgets, Test, and the "windows" and
# "offscreen" platform plugins. Changing this file changes the cache key, so
# the next run builds Qt again.
set(CMAKE_BUILD_TYPE Release CACHE STRING "")
set(BUILD_SHARED_LIBS ON CACHE BOOL "")

# Qt's own tests, examples and benchmarks take most of a full build.
set(QT_BUILD_TESTS OFF CACHE BOOL "")
set(QT_BUILD_EXAMPLES OFF CACHE BOOL "")
set(QT_BUILD_BENCHMARKS OFF CACHE BOOL "")

# Modules the program does not use.
set(FEATURE_sql OFF CACHE BOOL "")
set(FEATURE_network OFF CACHE BOOL "")  # the link has its own WinSock channel
set(FEATURE_dbus OFF CACHE BOOL "")
set(FEATURE_printsupport OFF CACHE BOOL "")
set(FEATURE_xml OFF CACHE BOOL "")  # reports use pugixml
set(FEATURE_concurrent OFF CACHE BOOL "")
set(FEATURE_vulkan OFF CACHE BOOL "")
set(FEATURE_androiddeployqt OFF CACHE BOOL "")  # Debian's cross patch would build it for the target
# Tablet input needs Wacom's wintab.h, which Debian's sources leave out (the
# program has no use for a pen).
set(FEATURE_tabletevent OFF CACHE BOOL "")

# Bundled third-party code only: nothing from the host leaks in, and the DLL
# set stays the same whatever mingw libraries the machine has (zlib for mingw
# is installed for libzip, but Qt takes its own).
set(FEATURE_system_zlib OFF CACHE BOOL "")
set(FEATURE_system_png OFF CACHE BOOL "")
set(FEATURE_system_jpeg OFF CACHE BOOL "")
set(FEATURE_system_pcre2 OFF CACHE BOOL "")
set(FEATURE_system_harfbuzz OFF CACHE BOOL "")
set(FEATURE_system_freetype OFF CACHE BOOL "")
set(FEATURE_system_doubleconversion OFF CACHE BOOL "")
set(FEATURE_zstd OFF CACHE BOOL "")
set(FEATURE_icu OFF CACHE BOOL "")
set(FEATURE_pkg_config OFF CACHE BOOL "")

# Left at Qt's defaults on purpose: "opengl" (the windows platform plugin of
# Qt 6.4 does not compile without it; desktop OpenGL comes from mingw's
# headers, the program draws none) and "directwrite"/"direct2d" (the plugin
# needs QWindowsDirectWriteFontDatabase to link).
