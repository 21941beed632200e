# The version is project()'s alone; the public header and the man pages
# repeat it, and a configure stops when one of them differs.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/fuelcalc/version.hpp fuelcalc_version_lines
     REGEX "^#define FUELCALC_VERSION_(MAJOR|MINOR|PATCH) ")
foreach(part MAJOR MINOR PATCH)
  if(NOT fuelcalc_version_lines MATCHES "FUELCALC_VERSION_${part} ([0-9]+)"
     OR NOT CMAKE_MATCH_1 EQUAL PROJECT_VERSION_${part})
    message(FATAL_ERROR "include/fuelcalc/version.hpp: FUELCALC_VERSION_${part} is not "
                        "${PROJECT_VERSION_${part}}, project()'s (${PROJECT_VERSION})")
  endif()
endforeach()
file(GLOB fuelcalc_man_pages RELATIVE ${PROJECT_SOURCE_DIR}/docs ${PROJECT_SOURCE_DIR}/docs/*.1)
foreach(page ${fuelcalc_man_pages})
  file(STRINGS ${PROJECT_SOURCE_DIR}/docs/${page} fuelcalc_title REGEX "^\\.TH ")
  if(NOT fuelcalc_title MATCHES "\"fuelcalc ${PROJECT_VERSION}\"")
    message(FATAL_ERROR "docs/${page}: its .TH line does not name \"fuelcalc ${PROJECT_VERSION}\"")
  endif()
endforeach()
