# A release build must know whose installers it runs: without a publisher it
# refuses to configure, unless unchecked installers are asked for by name.
# Configures this tree natively, once per case, in scratch folders; nothing is
# compiled.
#
#   cmake -DSOURCE_DIR=<tree> -DSCRATCH_DIR=<folder> -DGENERATOR=Ninja -P release_publisher.cmake
cmake_minimum_required(VERSION 3.25)  # an empty publisher stays a list element

foreach(variable SOURCE_DIR SCRATCH_DIR GENERATOR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not given")
  endif()
endforeach()

# name | release build | publisher | allow unchecked | configures
set(CASES
  "release without publisher|ON||OFF|NO"
  "release without publisher, unchecked allowed|ON||ON|YES"
  "release with publisher|ON|Example Games Ltd|OFF|YES"
  "test build without publisher|OFF||OFF|YES")

set(FAILURES "")
set(CASE_NUMBER 0)
foreach(case IN LISTS CASES)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 NAME)
  list(GET fields 1 RELEASE)
  list(GET fields 2 PUBLISHER)
  list(GET fields 3 ALLOW)
  list(GET fields 4 CONFIGURES)
  math(EXPR CASE_NUMBER "${CASE_NUMBER} + 1")
  set(BUILD_DIR ${SCRATCH_DIR}/case${CASE_NUMBER})
  file(REMOVE_RECURSE ${BUILD_DIR})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BUILD_DIR} -G ${GENERATOR}
            -DBUILD_TESTING=OFF -DFETCHLET_RELEASE_BUILD=${RELEASE}
            "-DFETCHLET_INSTALLER_PUBLISHER=${PUBLISHER}" -DFETCHLET_ALLOW_UNSIGNED_INSTALLER=${ALLOW}
    RESULT_VARIABLE RESULT OUTPUT_VARIABLE OUTPUT ERROR_VARIABLE OUTPUT
    TIMEOUT 300)
  file(REMOVE_RECURSE ${BUILD_DIR})
  if(CONFIGURES)
    if(NOT RESULT EQUAL 0)
      list(APPEND FAILURES "${NAME}: did not configure (${RESULT}):\n${OUTPUT}")
    endif()
  else()
    if(RESULT EQUAL 0)
      list(APPEND FAILURES "${NAME}: configured")
    endif()
    # The message names both ways out.
    foreach(hint FETCHLET_INSTALLER_PUBLISHER FETCHLET_ALLOW_UNSIGNED_INSTALLER=ON)
      string(FIND "${OUTPUT}" "${hint}" AT)
      if(AT EQUAL -1)
        list(APPEND FAILURES "${NAME}: the refusal does not name ${hint}:\n${OUTPUT}")
      endif()
    endforeach()
  endif()
endforeach()

if(FAILURES)
  string(REPLACE ";" "\n" FAILURES "${FAILURES}")
  message(FATAL_ERROR "${FAILURES}")
endif()
