# Release packages, made by scripts/package.sh in a release build of their own:
#   natively   a Debian package of veltrane-cli with its manual page, copyright and bash
#              completion (cpack -G DEB);
#   Windows    a zip of Veltrane.exe, veltrane-cli.exe and the manual with its picture
#              (cpack -G ZIP).
set(CPACK_PACKAGE_VENDOR "Veltrane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Records what a serial device sends, with its timing, and replays it as the device would")
set(CPACK_PACKAGE_CONTACT "Veltrane maintainers <maintainers@veltrane.example>")

if(WIN32)
    install(TARGETS Veltrane veltrane-cli RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/manual.html DESTINATION . RENAME Veltrane.html)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/data-view.png DESTINATION .)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "veltrane-${PROJECT_VERSION}-windows-x64")
else()
    install(TARGETS veltrane-cli RUNTIME DESTINATION bin)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cli/debian/copyright
            DESTINATION share/doc/veltrane-cli)
    install(FILES ${PROJECT_SOURCE_DIR}/cli/debian/bash-completion
            DESTINATION share/bash-completion/completions RENAME veltrane-cli)
    # The manual page is made from the built program's --help, so it says what the program says;
    # scripts/package.sh builds this target before packing.
    set(manpage ${PROJECT_BINARY_DIR}/veltrane-cli.1.gz)
    add_custom_command(OUTPUT ${manpage}
        COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/cli-manpage.sh $<TARGET_FILE:veltrane-cli>
                "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}" veltrane-cli.1
        COMMAND gzip -9nf veltrane-cli.1
        DEPENDS veltrane-cli ${PROJECT_SOURCE_DIR}/scripts/cli-manpage.sh
        WORKING_DIRECTORY ${PROJECT_BINARY_DIR} VERBATIM)
    add_custom_target(veltrane-cli-manpage DEPENDS ${manpage})
    install(FILES ${manpage} DESTINATION share/man/man1)
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME veltrane-cli)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    # The program needs the C and C++ runtimes only; their packages are found by dpkg-shlibdeps.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
