# SPDX-License-Identifier: MIT
# corvelle_windows_resources(TARGET DESCRIPTION): gives a Windows program its resources: the
# application icon, a manifest (common controls 6, per-monitor DPI awareness, long paths, no
# elevation) and version information from the project's one version number. Call it for each
# program target; it does nothing on other platforms.
set(CORVELLE_WINDOWS_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/../packaging/windows)

function(corvelle_windows_resources target description)
  if(NOT WIN32)
    return()
  endif()
  # Version resources take four numbers: 1.10 is 1,10,0,0.
  set(parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
  set(numbers)
  foreach(part IN LISTS parts)
    if(part STREQUAL "")
      set(part 0)
    endif()
    list(APPEND numbers ${part})
  endforeach()
  list(SUBLIST numbers 0 4 numbers)
  list(JOIN numbers "," CORVELLE_RC_VERSION_COMMAS)
  list(JOIN numbers "." CORVELLE_RC_VERSION_DOTS)
  set(CORVELLE_RC_NAME ${target})
  set(CORVELLE_RC_FILE ${target}.exe)
  set(CORVELLE_RC_DESCRIPTION "${description}")
  set(CORVELLE_RC_ICON ${CORVELLE_WINDOWS_PACKAGING_DIR}/corvelle.ico)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources)
  set(CORVELLE_RC_MANIFEST ${out}/${target}.manifest)
  configure_file(${CORVELLE_WINDOWS_PACKAGING_DIR}/corvelle.manifest.in ${CORVELLE_RC_MANIFEST} @ONLY)
  configure_file(${CORVELLE_WINDOWS_PACKAGING_DIR}/resources.rc.in ${out}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${out}/${target}.rc)
  # The icon and manifest are read by the resource compiler, not named as sources.
  set_source_files_properties(${out}/${target}.rc PROPERTIES
    OBJECT_DEPENDS "${CORVELLE_RC_ICON};${CORVELLE_RC_MANIFEST}")
endfunction()
