# The Windows installers: cpack in a build folder makes
# kvd62-capture-VERSION-win64.exe with NSIS, and the "msi" target makes
# kvd62-capture-VERSION-win64.msi with wixl (cmake/WindowsMsi.cmake) from the
# same install tree. They hold the programs and only what they load: Qt's
# libraries and plugins, and MinGW's C++ runtime, in program\; and in bin\,
# which they put on PATH, the two launchers that start them.
set(qt_libraries Core Gui Widgets PrintSupport)
foreach(library ${qt_libraries})
    install(FILES ${KVD_QT_PREFIX}/bin/Qt6${library}.dll DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()
install(FILES ${KVD_QT_PREFIX}/plugins/platforms/qwindows.dll DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
install(FILES ${KVD_QT_PREFIX}/plugins/styles/qwindowsvistastyle.dll DESTINATION ${CMAKE_INSTALL_BINDIR}/styles)
# BMP and PNG are Qt's own; JPEG, GIF and ICO, which "Load image" and a dropped
# file take on Linux, are plug-ins.
install(FILES ${KVD_QT_PREFIX}/plugins/imageformats/qjpeg.dll
              ${KVD_QT_PREFIX}/plugins/imageformats/qgif.dll
              ${KVD_QT_PREFIX}/plugins/imageformats/qico.dll
        DESTINATION ${CMAKE_INSTALL_BINDIR}/imageformats)
install(FILES ${KVD_MINGW_RUNTIME}/libstdc++-6.dll ${KVD_MINGW_RUNTIME}/libgcc_s_seh-1.dll
              ${KVD_WINPTHREAD_DLL}
        DESTINATION ${CMAKE_INSTALL_BINDIR})

# The program's licence, and Qt's beside the Qt libraries it carries.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/Qt-LGPL-3.txt
              ${PROJECT_SOURCE_DIR}/packaging/Qt-NOTICE.txt
        DESTINATION ${CMAKE_INSTALL_BINDIR})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME kvd62-capture)
set(CPACK_PACKAGE_VENDOR "kvd62-capture")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Screenshots from a KVD62 handheld instrument over its serial cable")
set(CPACK_PACKAGE_FILE_NAME kvd62-capture-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY kvd62-capture)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "KVD62 screen capture")
set(CPACK_NSIS_DISPLAY_NAME "KVD62 screen capture ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/packaging/kvd62-capture.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/packaging/kvd62-capture.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME program\\\\kvd62-capture.exe)
# The Start menu entry, with the program's own icon, starts the program itself.
set(CPACK_PACKAGE_EXECUTABLES kvd62-capture "KVD62 screen capture")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY program)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A page of options: the bin folder (the launchers alone) on PATH (for all users or for the one
# installing; off unless chosen), and a desktop shortcut. Uninstalling takes
# the PATH entry out again. A silent install (/S) takes the defaults.
set(CPACK_NSIS_MODIFY_PATH ON)
set(CPACK_CREATE_DESKTOP_LINKS kvd62-capture)
# A 64-bit installer for the 64-bit program: it runs where 32-bit Windows
# programs do not (Wine without its 32-bit part).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
include(CPack)

# The Windows Installer package, for deployment by Group Policy or Intune and
# for a per-user install without administrator rights (see WindowsMsi.cmake).
add_custom_target(msi
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DVERSION=${PROJECT_VERSION}
            -DOUTPUT=${CMAKE_BINARY_DIR}/kvd62-capture-${PROJECT_VERSION}-win64.msi
            -P ${PROJECT_SOURCE_DIR}/cmake/WindowsMsi.cmake
    DEPENDS kvd62-capture kvd62-capture-console kvd62-simulator
            kvd62-capture-launcher-windowed kvd62-capture-launcher-console
    COMMENT "Making kvd62-capture-${PROJECT_VERSION}-win64.msi"
    VERBATIM)
