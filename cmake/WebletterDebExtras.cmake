# Run by CPack after it has installed each component into its own staging folder: adds what
# Debian wants outside /opt/webletter to each package. The program stays a real file in
# /opt/webletter, so that it finds its settings there when started through the link in /usr/bin.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(prefix ${CPACK_PACKAGING_INSTALL_PREFIX})

# Links into /opt/webletter. Between top-level folders Debian wants them absolute.
function(link root target name)
  get_filename_component(folder ${root}${name} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  file(CREATE_LINK ${target} ${root}${name} SYMBOLIC)
endfunction()

# Gzips a file in place as Debian wants it: best compression, no name and no time stamp.
function(gzip file)
  execute_process(COMMAND gzip -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# Stripped as Debian's own tools strip: no symbols, no compiler notes.
function(strip file)
  execute_process(COMMAND strip --strip-unneeded --remove-section=.comment --remove-section=.note
    ${file} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# What every package holds under /usr/share: its copyright, its changelog and its lintian
# overrides.
function(add_package_files root package)
  set(doc ${root}/usr/share/doc/${package})
  file(COPY ${CPACK_WEBLETTER_DIST}/copyright DESTINATION ${doc})
  file(COPY ${CPACK_WEBLETTER_BINARY}/changelog DESTINATION ${doc})
  gzip(${doc}/changelog)
  file(COPY ${CPACK_WEBLETTER_DIST}/lintian-overrides/${package}
    DESTINATION ${root}/usr/share/lintian/overrides)
endfunction()

# webletter: the program, its manual page, the example settings and the README.
function(add_program_extras root)
  strip(${root}${prefix}/webletter)
  gzip(${root}${prefix}/share/man/man1/webletter.1)
  # The copyright file holds the licence.
  file(REMOVE ${root}${prefix}/share/doc/webletter/LICENSE)
  link(${root} ${prefix}/webletter /usr/bin/webletter)
  link(${root} ${prefix}/share/man/man1/webletter.1.gz /usr/share/man/man1/webletter.1.gz)
  add_package_files(${root} webletter)
endfunction()

# webletter-window: the window's module, the desktop entry, the icons and the metainfo.
function(add_window_extras root)
  strip(${root}${prefix}/lib/libwebletter-window.so)
  foreach(file share/applications/webletter.desktop
      share/metainfo/org.example.webletter.metainfo.xml
      share/icons/hicolor/16x16/apps/webletter.png share/icons/hicolor/32x32/apps/webletter.png
      share/icons/hicolor/48x48/apps/webletter.png share/icons/hicolor/64x64/apps/webletter.png
      share/icons/hicolor/128x128/apps/webletter.png
      share/icons/hicolor/scalable/apps/webletter.svg)
    link(${root} ${prefix}/${file} /usr/${file})
  endforeach()
  add_package_files(${root} webletter-window)
endfunction()

add_program_extras(${CPACK_TEMPORARY_DIRECTORY}/program)
# A build without the window has no window component.
if(IS_DIRECTORY ${CPACK_TEMPORARY_DIRECTORY}/window)
  add_window_extras(${CPACK_TEMPORARY_DIRECTORY}/window)
endif()
