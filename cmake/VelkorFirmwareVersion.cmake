# The embedded image's version: "R" and three two-digit numbers separated by dots, such as
# R06.00.02. The updater writes it into Result.log after "Pass" ("Pass" CR LF version CR LF,
# 17 bytes) and shows it in its window title; velkor-tool --version prints it; without its "R"
# it is the packages' version. An image and its version are set together:
#   cmake -DVELKOR_FIRMWARE_IMAGE=image.bin -DVELKOR_FIRMWARE_VERSION=R06.00.02 ...
#
# Also a script, for checking a version without configuring a build:
#   cmake -DVERSION=R06.00.02 -P cmake/VelkorFirmwareVersion.cmake   (exit 0, or the error)

# The placeholder image's version (resources/firmware.bin).
set(VELKOR_PLACEHOLDER_FIRMWARE_VERSION R06.00.01)

# velkor_firmware_version_problem(VERSION OUT): OUT is empty when VERSION has the form above,
# and otherwise says what is wrong with it.
function(velkor_firmware_version_problem version out)
  if(version MATCHES "^R[0-9][0-9]\\.[0-9][0-9]\\.[0-9][0-9]$")
    set(${out} "" PARENT_SCOPE)
  else()
    string(CONCAT problem
        "VELKOR_FIRMWARE_VERSION \"${version}\" is not a firmware version: it must be \"R\" "
        "and three two-digit numbers separated by dots, such as R06.00.02 (9 characters, so that "
        "\"Pass\" CR LF version CR LF in Result.log is 17 bytes)")
    set(${out} "${problem}" PARENT_SCOPE)
  endif()
endfunction()

# velkor_resolve_firmware_version(): checks VELKOR_FIRMWARE_VERSION against the image and its
# form, then sets VELKOR_IMAGE_VERSION (R06.00.02) and VELKOR_PACKAGE_VERSION (06.00.02, a
# Debian version must begin with a digit) and writes generated/resources/firmware_version.h.
function(velkor_resolve_firmware_version)
  set(version "${VELKOR_FIRMWARE_VERSION}")
  if(version STREQUAL "")
    # Only the placeholder may go without a version: any other image would otherwise be
    # reported as "Pass" with the placeholder's version.
    file(REAL_PATH "${VELKOR_FIRMWARE_IMAGE}" image)
    file(REAL_PATH "${PROJECT_SOURCE_DIR}/resources/firmware.bin" placeholder)
    if(NOT image STREQUAL placeholder)
      message(FATAL_ERROR
              "VELKOR_FIRMWARE_IMAGE is ${VELKOR_FIRMWARE_IMAGE}, not the placeholder: give its "
              "version with it, such as -DVELKOR_FIRMWARE_VERSION=R06.00.02")
    endif()
    set(version ${VELKOR_PLACEHOLDER_FIRMWARE_VERSION})
  endif()
  velkor_firmware_version_problem("${version}" problem)
  if(problem)
    message(FATAL_ERROR "${problem}")
  endif()
  string(SUBSTRING "${version}" 1 -1 package_version)
  set(VELKOR_IMAGE_VERSION ${version} PARENT_SCOPE)
  set(VELKOR_PACKAGE_VERSION ${package_version} PARENT_SCOPE)
  # Rewritten only when its content changes, so a reconfigure rebuilds nothing.
  set(VELKOR_IMAGE_VERSION ${version})
  file(SHA256 "${VELKOR_FIRMWARE_IMAGE}" VELKOR_IMAGE_SHA256)
  set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${VELKOR_FIRMWARE_IMAGE}")
  configure_file(${PROJECT_SOURCE_DIR}/resources/firmware_version.h.in
                 ${PROJECT_BINARY_DIR}/generated/resources/firmware_version.h @ONLY)
  message(STATUS "Firmware image version: ${version}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  velkor_firmware_version_problem("${VERSION}" problem)
  if(problem)
    message(FATAL_ERROR "${problem}")
  endif()
endif()
