# The Debian packages: `cpack -G DEB` in a build folder (or `cpack --preset deb`) makes one
# package for each install component (see WebletterInstall.cmake), as Debian splits a daemon from
# its desktop face:
#   webletter         the batch program, its manual page, the example settings and documentation;
#                     it depends only on what the program itself links (no toolkit, no display);
#   webletter-window  the window's module, the desktop entry, the icons and the metainfo; it
#                     depends on webletter of the same version and on what the module links (Qt).
# Both install into /opt/webletter; WebletterDebExtras.cmake adds what Debian expects under /usr:
# the links into /opt/webletter, and each package's copyright and changelog.
set(CPACK_PACKAGE_NAME webletter)
set(CPACK_PACKAGE_VENDOR "The Webletter developers")
set(CPACK_PACKAGE_CONTACT "The Webletter developers <webletter@example.org>")
# Each package's description opens with its own summary. CPack would put the project's summary
# in front of both, so its summary is set empty. Lines of at most 79 characters, as Debian wants
# them, and no semicolons, which CMake reads as list separators.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION
  "mails a web page as an HTML e-mail\n"
  "Webletter downloads one web page and sends its HTML, unchanged, as an HTML\n"
  "e-mail through an SMTP server. Run from cron or a systemd timer it sends a\n"
  "newsletter that lives on a web server.\n"
  "\n"
  "This package holds the program, which needs no display. Install\n"
  "webletter-window as well for its window.")
set(CPACK_DEBIAN_WINDOW_DESCRIPTION
  "mails a web page as an HTML e-mail - window\n"
  "Webletter downloads one web page and sends its HTML, unchanged, as an HTML\n"
  "e-mail through an SMTP server. Its window sends a page by hand and keeps\n"
  "the defaults of the scheduled mailings.\n"
  "\n"
  "This package holds the window, with its desktop entry, icons and AppStream\n"
  "metainfo. The program itself is in the package webletter.")
foreach(component PROGRAM WINDOW)
  string(JOIN "" CPACK_DEBIAN_${component}_DESCRIPTION ${CPACK_DEBIAN_${component}_DESCRIPTION})
endforeach()
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/webletter)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL program)
if(WEBLETTER_BUILD_WINDOW)
  list(APPEND CPACK_COMPONENTS_ALL window)
endif()
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME webletter)
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME webletter-window)
# webletter-window depends on webletter (= the same version), ahead of what its module links.
set(CPACK_COMPONENT_WINDOW_DEPENDS program)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SOURCE webletter)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Each package's Depends come from the shared libraries of its own files only.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/WebletterDebExtras.cmake)
set(CPACK_WEBLETTER_DIST ${PROJECT_SOURCE_DIR}/dist)
set(CPACK_WEBLETTER_BINARY ${PROJECT_BINARY_DIR})

include(CPack)
