# Installation as a desktop program (cmake --install) and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

set(KELMO_RESOURCES ${PROJECT_SOURCE_DIR}/resources)
set(KELMO_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
# The AppStream component id, also the desktop entry's name.
set(KELMO_APP_ID org.example.kelmo.preview)

# The programs themselves go where only their launchers in bin/ start them: installed
# programs have no RUNPATH, so the launcher puts LibreOffice's program folder on the library
# path (packaging/launcher.sh.in).
set(KELMO_LIBEXEC ${CMAKE_INSTALL_LIBEXECDIR}/kelmo-preview)
foreach(program kelmo-preview kelmo-convert)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${KELMO_LIBEXEC})
        configure_file(${PROJECT_SOURCE_DIR}/packaging/launcher.sh.in
            ${CMAKE_BINARY_DIR}/packaging/${program} @ONLY)
        install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/${program}
            DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

if(TARGET kelmo-preview)
    install(FILES ${KELMO_RESOURCES}/${KELMO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${KELMO_RESOURCES}/${KELMO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${KELMO_RESOURCES}/kelmo-preview.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 48 128)
        install(FILES ${KELMO_RESOURCES}/kelmo-preview-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME kelmo-preview.png)
    endforeach()
endif()
set(KELMO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/kelmo-preview)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${KELMO_PACKAGING}/copyright
    DESTINATION ${KELMO_DOC_DIR})
install(FILES ${KELMO_PACKAGING}/kelmo-convert.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kelmo-convert)

# Manual pages and the changelog, compressed as Debian wants them (no name or time stamp
# inside, so the package is the same from build to build).
set(KELMO_COMPRESSED)
foreach(source kelmo-preview.1 kelmo-convert.1 changelog)
    set(compressed ${CMAKE_BINARY_DIR}/packaging/${source}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
        COMMAND gzip -9nc ${KELMO_PACKAGING}/${source} > ${compressed}
        DEPENDS ${KELMO_PACKAGING}/${source}
        VERBATIM)
    list(APPEND KELMO_COMPRESSED ${compressed})
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${KELMO_COMPRESSED})
if(TARGET kelmo-preview)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/kelmo-preview.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${CMAKE_BINARY_DIR}/packaging/kelmo-convert.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${KELMO_DOC_DIR})

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    add_test(NAME desktop_entry_valid
        COMMAND ${DESKTOP_FILE_VALIDATE} ${KELMO_RESOURCES}/${KELMO_APP_ID}.desktop)
    # Hints count too: two main categories, for one, put the program twice in the menu.
    set_tests_properties(desktop_entry_valid PROPERTIES FAIL_REGULAR_EXPRESSION "hint|warning|error")
endif()

find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
    add_test(NAME metainfo_valid COMMAND ${APPSTREAMCLI} validate --no-net --pedantic
        ${KELMO_RESOURCES}/${KELMO_APP_ID}.metainfo.xml)
    # Pedantic hints count too, as for the desktop entry.
    set_tests_properties(metainfo_valid PROPERTIES FAIL_REGULAR_EXPRESSION "^[EWIP]: ")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelmo-preview)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelmo Preview project")
set(CPACK_PACKAGE_CONTACT "Kelmo Preview project <maintainers@kelmo-preview.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "preview of course materials cut into one page per heading")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelmo Preview converts a course written in a word processor to HTML, strips the\n"
    "word processor's markup, cuts the document into one HTML page per heading and\n"
    "shows a heading tree beside the selected page. kelmo-convert does the same\n"
    "without a window.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kelmo.example.org")
# Libraries come from dpkg-shlibdeps; what is started or loaded at run time is named here:
# the WebEngine helper process, the Qt platform plugins, Qt's translations and the converter.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6webenginecore6-bin, qt6-qpa-plugins, qt6-translations-l10n, libjpeg62-turbo, libreoffice-writer-nogui | libreoffice-writer, libreoffice-math-nogui | libreoffice-math")

include(CPack)
