# SPDX-License-Identifier: MIT
# The Qt that the Windows build's window links against: the static mingw-w64 Qt that
# scripts/qt-mingw builds into its cache folder. CORVELLE_QT_MINGW names that folder; left empty,
# it is asked of the script, which answers only when its Qt is built. Without that Qt the Windows
# build is the engine and corvelle-cli, as it says here; scripts/test windows builds Qt first.
set(CORVELLE_QT_MINGW "" CACHE PATH "Qt for mingw-w64 (the folder scripts/qt-mingw prints)")
if(NOT CORVELLE_QT_MINGW)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/qt-mingw --print
                  OUTPUT_VARIABLE printed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE status)
  if(status EQUAL 0 AND IS_DIRECTORY "${printed}")
    set(CORVELLE_QT_MINGW "${printed}" CACHE PATH "Qt for mingw-w64 (the folder scripts/qt-mingw prints)" FORCE)
  endif()
endif()

set(CORVELLE_WINDOW OFF)
if(CORVELLE_QT_MINGW)
  # The toolchain looks for packages under its root paths only; this Qt is one of them. Its
  # build tools (moc, rcc) are the host's, of the same version.
  list(APPEND CMAKE_FIND_ROOT_PATH ${CORVELLE_QT_MINGW})
  list(APPEND CMAKE_PREFIX_PATH ${CORVELLE_QT_MINGW})
  set(QT_HOST_PATH /usr CACHE PATH "Host Qt of the cross-built one")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "Host Qt's CMake packages")
  # A folder named but not usable is an error, not a build without the window.
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets)
  set(CORVELLE_WINDOW ON)
endif()
if(NOT CORVELLE_WINDOW)
  message(STATUS "No Qt for mingw-w64 (scripts/qt-mingw builds it): corvelle.exe and its tests are not built")
endif()
