# Run by CPack after it has installed the package's files into its staging folder: adds what
# Debian wants outside /opt/webletter. The program stays a real file in /opt/webletter, so that
# it finds its settings there when started through the link in /usr/bin.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(root ${CPACK_TEMPORARY_DIRECTORY})
set(prefix ${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/usr/share/doc/webletter)

# Links into /opt/webletter. Between top-level folders Debian wants them absolute.
function(link target name)
  get_filename_component(folder ${root}${name} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  file(CREATE_LINK ${target} ${root}${name} SYMBOLIC)
endfunction()

# Gzips a file in place as Debian wants it: best compression, no name and no time stamp.
function(gzip file)
  execute_process(COMMAND gzip -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# Stripped as Debian's own tools strip: no symbols, no compiler notes.
execute_process(COMMAND strip --strip-unneeded --remove-section=.comment --remove-section=.note
  ${root}${prefix}/webletter COMMAND_ERROR_IS_FATAL ANY)
if(CPACK_WEBLETTER_WINDOW)
  execute_process(COMMAND strip --strip-unneeded --remove-section=.comment --remove-section=.note
    ${root}${prefix}/lib/libwebletter-window.so COMMAND_ERROR_IS_FATAL ANY)
endif()
gzip(${root}${prefix}/share/man/man1/webletter.1)
# The copyright file below holds the licence.
file(REMOVE ${root}${prefix}/share/doc/webletter/LICENSE)
link(${prefix}/webletter /usr/bin/webletter)
link(${prefix}/share/man/man1/webletter.1.gz /usr/share/man/man1/webletter.1.gz)
if(CPACK_WEBLETTER_WINDOW)
  link(${prefix}/share/applications/webletter.desktop /usr/share/applications/webletter.desktop)
  link(${prefix}/share/metainfo/org.example.webletter.metainfo.xml
    /usr/share/metainfo/org.example.webletter.metainfo.xml)
  foreach(size 16x16 32x32 48x48 64x64 128x128)
    link(${prefix}/share/icons/hicolor/${size}/apps/webletter.png
      /usr/share/icons/hicolor/${size}/apps/webletter.png)
  endforeach()
  link(${prefix}/share/icons/hicolor/scalable/apps/webletter.svg
    /usr/share/icons/hicolor/scalable/apps/webletter.svg)
endif()

file(COPY ${CPACK_WEBLETTER_DIST}/copyright DESTINATION ${doc})
file(COPY ${CPACK_WEBLETTER_DIST}/changelog DESTINATION ${doc})
gzip(${doc}/changelog)
file(COPY ${CPACK_WEBLETTER_DIST}/lintian-overrides/webletter
  DESTINATION ${root}/usr/share/lintian/overrides)
