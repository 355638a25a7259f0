# Install rules and the Debian package. The program looks for its companions
# (the stand-in programs, the module) below libexec when they are not beside it.
set(VEVA_APP_ID com.ulmex.VevaSms)
set(VEVA_LIBEXEC_DIR ${CMAKE_INSTALL_LIBEXECDIR}/veva-sms)
set(VEVA_LINUX_DIR ${PROJECT_SOURCE_DIR}/res/linux)
set(VEVA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/veva-sms)

foreach(companion desktopmgr javaloader)
    if(TARGET ${companion})
        install(TARGETS ${companion} RUNTIME DESTINATION ${VEVA_LIBEXEC_DIR})
    endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/res/UlmexVevaSMS.cod DESTINATION ${VEVA_LIBEXEC_DIR})
# The emulated handset and the device service's registration, as a desktop
# manager's installer would leave them; the program reads them when the user
# has none of their own.
install(FILES ${VEVA_LINUX_DIR}/handsets.ini DESTINATION ${VEVA_LIBEXEC_DIR})
install(CODE "
    set(dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VEVA_LIBEXEC_DIR}\")
    file(MAKE_DIRECTORY \"\${dir}\")
    file(WRITE \"\${dir}/registry.reg\" \"Windows Registry Editor Version 5.00\\n\\n\"
        \"[HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Research In Motion\\\\BlackBerry\\\\Manager]\\n\"
        \"\\\"ImagePath\\\"=\\\"\${CMAKE_INSTALL_PREFIX}/${VEVA_LIBEXEC_DIR}/DesktopMgr.exe\\\"\\n\")
    message(STATUS \"Installing: \${dir}/registry.reg\")
")
install(FILES ${VEVA_LINUX_DIR}/copyright DESTINATION ${VEVA_DOC_DIR})
# Debian wants the change log compressed, reproducibly (no name, no time stamp).
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/linux/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/linux
    COMMAND gzip -9nc ${VEVA_LINUX_DIR}/changelog > ${CMAKE_BINARY_DIR}/linux/changelog.gz
    DEPENDS ${VEVA_LINUX_DIR}/changelog VERBATIM)
add_custom_target(veva_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/linux/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/linux/changelog.gz DESTINATION ${VEVA_DOC_DIR})

if(TARGET veva-sms)
    install(TARGETS veva-sms RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${VEVA_LINUX_DIR}/${VEVA_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${VEVA_LINUX_DIR}/${VEVA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${VEVA_LINUX_DIR}/${VEVA_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

    set(VEVA_ICON_SIZES 16 24 32 48 64 128 256)
    set(icon_files)
    foreach(size ${VEVA_ICON_SIZES})
        list(APPEND icon_files ${CMAKE_BINARY_DIR}/linux/icons/${size}.png)
    endforeach()
    add_custom_command(OUTPUT ${icon_files}
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:veva-icons>
            ${CMAKE_BINARY_DIR}/linux/icons ${VEVA_ICON_SIZES}
        DEPENDS veva-icons VERBATIM)
    add_custom_target(veva_icons ALL DEPENDS ${icon_files})
    foreach(size ${VEVA_ICON_SIZES})
        install(FILES ${CMAKE_BINARY_DIR}/linux/icons/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME ${VEVA_APP_ID}.png)
    endforeach()

    # The manual page is the program's own --help.
    find_program(HELP2MAN help2man)
    if(HELP2MAN)
        set(man ${CMAKE_BINARY_DIR}/linux/veva-sms.1)
        add_custom_command(OUTPUT ${man}.gz
            COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1
                "--name=send text messages to long recipient lists" --output=${man} $<TARGET_FILE:veva-sms>
            COMMAND gzip -9nf ${man}
            DEPENDS veva-sms VERBATIM)
        add_custom_target(veva_manpage ALL DEPENDS ${man}.gz)
        install(FILES ${man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
        message(STATUS "help2man not found: no manual page")
    endif()
endif()

set(CPACK_PACKAGE_NAME veva-sms)
set(CPACK_PACKAGE_VENDOR Ulmex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "send text messages to long recipient lists")
set(CPACK_PACKAGE_DESCRIPTION
    "Ulmex Veva SMS sends text messages to long recipient lists through a mobile
handset or a GSM modem. Lists come from typed numbers, spreadsheets or text
files; messages can be merged per row from spreadsheet columns; duplicates and
excluded numbers are skipped; sent messages are logged.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ulmex <support@ulmex-veva.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.ulmex-veva.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
