# What `cmake --install` puts into the installation folder (by default /opt/webletter). The
# program sits at its top, where it also finds webletter.ini and writes webletter.log; the rest
# follows the usual share/ layout below it. Two components, one Debian package each: "program",
# the batch program with its manual page and documentation, which needs no display; "window", the
# window's module with the desktop entry, the icons and the metainfo, which bring in Qt.
set(WEBLETTER_DIST ${PROJECT_SOURCE_DIR}/dist)

install(TARGETS webletter RUNTIME DESTINATION . COMPONENT program)
# Only an example: a real webletter.ini beside the program is never replaced.
install(FILES ${WEBLETTER_DIST}/webletter.ini.example DESTINATION . COMPONENT program)
# The files that carry the version take it from project() in CMakeLists.txt.
configure_file(${WEBLETTER_DIST}/webletter.1.in ${PROJECT_BINARY_DIR}/webletter.1 @ONLY)
configure_file(${WEBLETTER_DIST}/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
configure_file(${WEBLETTER_DIST}/org.example.webletter.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/org.example.webletter.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/webletter.1 DESTINATION share/man/man1 COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION share/doc/webletter COMPONENT program)

if(WEBLETTER_BUILD_WINDOW)
  # The window's module, which the program looks for in lib/ beside itself.
  install(TARGETS webletter-window LIBRARY DESTINATION lib COMPONENT window)
  install(FILES ${WEBLETTER_DIST}/webletter.desktop DESTINATION share/applications
    COMPONENT window)
  install(FILES ${PROJECT_BINARY_DIR}/org.example.webletter.metainfo.xml DESTINATION share/metainfo
    COMPONENT window)
  foreach(size 16 32 48 64 128)
    install(FILES ${WEBLETTER_DIST}/icons/webletter-${size}.png
      DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME webletter.png COMPONENT window)
  endforeach()
  install(FILES ${WEBLETTER_DIST}/icons/webletter.svg DESTINATION share/icons/hicolor/scalable/apps
    COMPONENT window)
endif()
