# Release packages, made by scripts/package.sh in a release build of their own:
#   natively   a Debian package of veltrane-cli (cpack -G DEB);
#   Windows    a zip of Veltrane.exe, veltrane-cli.exe and the manual (cpack -G ZIP).
set(CPACK_PACKAGE_VENDOR "Veltrane")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Records what a serial device sends, with its timing, and replays it as the device would")
set(CPACK_PACKAGE_CONTACT "Veltrane maintainers <maintainers@veltrane.example>")

if(WIN32)
    install(TARGETS Veltrane veltrane-cli RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/manual.html DESTINATION . RENAME Veltrane.html)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "veltrane-${PROJECT_VERSION}-windows-x64")
else()
    install(TARGETS veltrane-cli RUNTIME DESTINATION bin)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc/veltrane-cli)
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME veltrane-cli)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    # The program needs the C and C++ runtimes only; their packages are found by dpkg-shlibdeps.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
