# The program's icon and, on Windows, the resources of its executables. The icon is drawn once,
# as packaging/icon.svg; the build renders it into PNGs of every size a desktop asks for and packs
# them into one .ico, so no generated picture is kept in the repository.
#
#   orvane_program_resources(<target> DESCRIPTION <text>)
# gives a Windows executable the icon, a version resource (the project's version) and a
# manifest. Elsewhere it only makes the target wait for the icon, which Packaging.cmake installs.

set(ORVANE_ICON_SOURCE "${PROJECT_SOURCE_DIR}/packaging/icon.svg")
set(ORVANE_ICON_DIR "${PROJECT_BINARY_DIR}/icon")
set(ORVANE_ICON_SIZES 16 24 32 48 64 128 256)
set(ORVANE_ICON_ICO "${ORVANE_ICON_DIR}/orvane-probe-formations.ico")
set(ORVANE_PRODUCT_NAME "Orvane Probe Formations")
set(ORVANE_COPYRIGHT "Copyright (c) 2026 The orvane-probe-formations developers")

find_program(ORVANE_RSVG_CONVERT rsvg-convert)
find_program(ORVANE_ICOTOOL icotool)
if(NOT ORVANE_RSVG_CONVERT OR NOT ORVANE_ICOTOOL)
  message(FATAL_ERROR "The icon needs rsvg-convert (librsvg2-bin) and icotool (icoutils): "
                      "run scripts/install-deps")
endif()

set(ORVANE_ICON_PNGS "")
foreach(_size IN LISTS ORVANE_ICON_SIZES)
  set(_png "${ORVANE_ICON_DIR}/${_size}.png")
  add_custom_command(
    OUTPUT "${_png}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${ORVANE_ICON_DIR}"
    COMMAND "${ORVANE_RSVG_CONVERT}" -w ${_size} -h ${_size} -o "${_png}" "${ORVANE_ICON_SOURCE}"
    DEPENDS "${ORVANE_ICON_SOURCE}"
    COMMENT "Rendering the icon at ${_size} pixels"
    VERBATIM)
  list(APPEND ORVANE_ICON_PNGS "${_png}")
endforeach()
# The 256-pixel picture stays PNG inside the .ico, as Windows expects at that size; the smaller
# ones are stored as bitmaps, which every part of Windows reads.
set(_ico_bitmaps ${ORVANE_ICON_PNGS})
list(FILTER _ico_bitmaps EXCLUDE REGEX "/256\\.png$")
add_custom_command(
  OUTPUT "${ORVANE_ICON_ICO}"
  COMMAND "${ORVANE_ICOTOOL}" -c -o "${ORVANE_ICON_ICO}" ${_ico_bitmaps}
          "--raw=${ORVANE_ICON_DIR}/256.png"
  DEPENDS ${ORVANE_ICON_PNGS}
  COMMENT "Packing the icon into orvane-probe-formations.ico"
  VERBATIM)
add_custom_target(program_icon ALL DEPENDS "${ORVANE_ICON_ICO}")

if(WIN32)
  enable_language(RC)
endif()

function(orvane_program_resources target)
  cmake_parse_arguments(PARSE_ARGV 1 _arg "" "DESCRIPTION" "")
  add_dependencies(${target} program_icon)
  if(NOT WIN32)
    return()
  endif()
  set(ORVANE_RC_DESCRIPTION "${_arg_DESCRIPTION}")
  set(ORVANE_RC_NAME "${target}")
  set(ORVANE_RC_VERSION "${PROJECT_VERSION}")
  # Windows wants four numbers; the last is always 0 here.
  set(ORVANE_RC_VERSION_NUMBERS
      "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(ORVANE_RC_ICON "${ORVANE_ICON_ICO}")
  set(ORVANE_RC_MANIFEST "${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest")
  set(_rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
  configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in" "${_rc}" @ONLY)
  target_sources(${target} PRIVATE "${_rc}")
  set_source_files_properties("${_rc}" PROPERTIES OBJECT_DEPENDS
                                                  "${ORVANE_ICON_ICO};${ORVANE_RC_MANIFEST}")
endfunction()
