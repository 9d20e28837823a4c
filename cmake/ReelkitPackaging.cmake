# Debian packages from the install rules (cpack -G DEB, run by scripts/package.sh): one per
# install component. CPack rather than debhelper, so that the packages come from the same install
# rules as every other installation and need no second description of where files go.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${REELKIT_PACKAGE})
set(CPACK_PACKAGE_VENDOR "Kestrix Tolvan")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${REELKIT_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The binaries are stripped and their debug information goes into -dbgsym packages beside them,
# as Debian ships it; installed, it gives an installed program's crash reports their source lines.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${REELKIT_PACKAGE} ${REELKIT_WIZARD_PACKAGE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${REELKIT_HOMEPAGE})
# Dependencies are read from the binaries, not listed by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

string(TOUPPER ${REELKIT_PACKAGE} cli)
string(TOUPPER ${REELKIT_WIZARD_PACKAGE} wizard)
set(CPACK_DEBIAN_${cli}_PACKAGE_NAME ${REELKIT_PACKAGE})
# The libraries the crash reporter loads at run time come from the packages that hold them here.
foreach(library IN LISTS REELKIT_LOADED_LIBRARIES)
  execute_process(COMMAND dpkg-query --search ${library} OUTPUT_VARIABLE owner
                  RESULT_VARIABLE unknown ERROR_QUIET)
  if(NOT unknown)
    string(REGEX REPLACE "^([^:]+):.*$" "\\1" owner "${owner}")
    list(APPEND loaded_packages ${owner})
  endif()
endforeach()
list(JOIN loaded_packages ", " CPACK_DEBIAN_${cli}_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_${cli}_PACKAGE_SECTION video)
# reelkit-batch runs its conversions through GNU parallel, and copies files to other hosts with
# rsync over ssh; the converter itself needs neither.
set(CPACK_DEBIAN_${cli}_PACKAGE_RECOMMENDS "parallel")
set(CPACK_DEBIAN_${cli}_PACKAGE_SUGGESTS "rsync, openssh-client")
set(CPACK_COMPONENT_${cli}_DESCRIPTION
    "convert remote-session screen recordings into videos\n\
Reelkit turns the screen recordings that support technicians make of their\n\
remote-control sessions into ordinary videos: H.264 in MP4 files, Microsoft\n\
Video 1 or Microsoft RLE in AVI files, or a copy of the recorded screen stream.\n\
.\n\
This package holds the command line, reelkit, which converts one recording\n\
and needs no display. The wizard is in the package reelkit-wizard.")
set(CPACK_DEBIAN_${wizard}_PACKAGE_NAME ${REELKIT_WIZARD_PACKAGE})
set(CPACK_DEBIAN_${wizard}_PACKAGE_SECTION video)
set(CPACK_DEBIAN_${wizard}_PACKAGE_DEPENDS "${REELKIT_PACKAGE} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_${wizard}_DESCRIPTION
    "convert many screen recordings into videos in a wizard\n\
Reelkit turns the screen recordings that support technicians make of their\n\
remote-control sessions into ordinary videos that any player opens.\n\
.\n\
This package holds the six-page wizard, reelkit-wizard, with its menu entry:\n\
it converts many recordings in turn, with progress, questions before\n\
overwriting and a log.")
# The GStreamer plugin, where it was built: it needs no file of the other packages.
if(TARGET gstreelkit)
  list(APPEND CPACK_COMPONENTS_ALL ${REELKIT_GSTREAMER_PACKAGE})
  string(TOUPPER ${REELKIT_GSTREAMER_PACKAGE} gst)
  set(CPACK_DEBIAN_${gst}_PACKAGE_NAME ${REELKIT_GSTREAMER_PACKAGE})
  set(CPACK_DEBIAN_${gst}_PACKAGE_SECTION video)
  set(CPACK_COMPONENT_${gst}_DESCRIPTION
      "GStreamer plugin that plays remote-session screen recordings\n\
With this plugin, video players, thumbnailers and every program built on\n\
GStreamer's playbin open the screen recordings that support technicians make\n\
of their remote-control sessions as ordinary videos, with seeking and pausing,\n\
and the AVI files that carry their screen stream.\n\
.\n\
It holds a type finder, a demuxer and a decoder.")
endif()
include(CPack)
