# Where an installed Quorvale keeps its files, and its Debian package:
#
#   cmake --build --preset release --target package   # build/release/quorvale_<version>-1_<arch>.deb
#
# The programs go to bin/ and the lock tool and the privileged helper to libexec/quorvale/ (the window program looks
# for it there, relative to its own folder; on Windows the tool goes beside it in bin/). On
# Linux the desktop entry, the AppStream metadata, the icon (rendered from one SVG to the
# hicolor sizes), the manual pages, the Debian copyright and changelog, and the scheduled
# update's systemd units and sources file are installed too; scripts/check-package checks
# the result.

include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

foreach(program IN ITEMS quorvale quorvale-cli)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET quorvale-helper AND WIN32)
  # Beside the window program, which starts it through UAC.
  install(TARGETS quorvale-helper RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
elseif(TARGET quorvale-helper)
  install(TARGETS quorvale-helper RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quorvale)
endif()
if(TARGET subinacl AND WIN32)
  # Beside the programs, where the lock button looks first.
  install(TARGETS subinacl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
elseif(TARGET subinacl)
  install(TARGETS subinacl RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quorvale)
endif()

if(NOT UNIX OR APPLE)
  return()
endif()

# The application's id: the names of the desktop entry, the metadata and the icon.
set(QUORVALE_APP_ID org.quorvale.Quorvale)
set(QUORVALE_MAINTAINER "The Quorvale developers <maintainers@quorvale.example>"
    CACHE STRING "Maintainer named in the Debian package and its changelog")
set(QUORVALE_DEB_RELEASE 1)
set(QUORVALE_DEB_VERSION ${PROJECT_VERSION}-${QUORVALE_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUORVALE_MAINTAINER})

set(packaging_source ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_build ${PROJECT_BINARY_DIR}/packaging)
set(icon_source ${packaging_source}/${QUORVALE_APP_ID}.svg)
set(generated_files)

# The icon, one PNG per size of the hicolor theme, plus the SVG itself.
find_program(QUORVALE_RSVG_CONVERT rsvg-convert)
if(QUORVALE_RSVG_CONVERT)
  foreach(size IN ITEMS 16 32 48 64 128 256)
    set(png ${packaging_build}/icons/${size}x${size}/${QUORVALE_APP_ID}.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_build}/icons/${size}x${size}
      COMMAND ${QUORVALE_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${icon_source}
      DEPENDS ${icon_source}
      COMMENT "Rendering the ${size}x${size} icon"
      VERBATIM)
    list(APPEND generated_files ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  # The programs build without it; only an install or a package would lack the icons.
  install(CODE "message(FATAL_ERROR \"rsvg-convert (Debian package librsvg2-bin) is needed to render the icons\")")
endif()
install(FILES ${icon_source} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

install(FILES ${packaging_source}/${QUORVALE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${packaging_source}/${QUORVALE_APP_ID}.metainfo.xml.in
               ${packaging_build}/${QUORVALE_APP_ID}.metainfo.xml @ONLY)
install(FILES ${packaging_build}/${QUORVALE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages and the Debian changelog are installed compressed, without a name or time
# stamp in the gzip header, as Debian wants them.
function(quorvale_gzip_file source output_name destination)
  set(plain ${packaging_build}/gz/${output_name})
  configure_file(${source} ${plain} @ONLY)
  add_custom_command(
    OUTPUT ${plain}.gz
    COMMAND gzip -9nkf ${plain}
    DEPENDS ${plain}
    VERBATIM)
  set(generated_files ${generated_files} ${plain}.gz PARENT_SCOPE)
  install(FILES ${plain}.gz DESTINATION ${destination})
endfunction()
quorvale_gzip_file(${packaging_source}/quorvale.1.in quorvale.1 ${CMAKE_INSTALL_MANDIR}/man1)
quorvale_gzip_file(${packaging_source}/quorvale-cli.1.in quorvale-cli.1 ${CMAKE_INSTALL_MANDIR}/man1)
quorvale_gzip_file(${packaging_source}/changelog.Debian.in changelog.Debian ${CMAKE_INSTALL_DATADIR}/doc/quorvale)
install(FILES ${packaging_source}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvale)

# The polkit actions of the privileged helper, written from its table of steps
# (src/privileged): pkexec runs it only at the path they name.
set(QUORVALE_HELPER_PATH /usr/libexec/quorvale/quorvale-helper CACHE FILEPATH
    "Where the package installs the privileged helper, as its polkit actions name it")
set(policy_template ${packaging_source}/${QUORVALE_APP_ID}.policy.in)
set(policy ${packaging_build}/${QUORVALE_APP_ID}.policy)
add_custom_command(
  OUTPUT ${policy}
  COMMAND quorvale_polkit_policy ${policy_template} ${QUORVALE_HELPER_PATH} ${policy}
  DEPENDS quorvale_polkit_policy ${policy_template}
  COMMENT "Writing the polkit actions of the helper's steps"
  VERBATIM)
list(APPEND generated_files ${policy})
install(FILES ${policy} DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)

add_custom_target(quorvale_packaging_files ALL DEPENDS ${generated_files})

# The scheduled update: the systemd timer and its service, installed but not enabled (the
# administrator enables the timer), and the sources file they read, all comments until the
# administrator fills it in; dpkg keeps the administrator's copy on upgrades (a conffile).
# Units go to /lib/systemd/system, where Debian 12 installs them. The maintainer scripts have
# systemd read them again on install, stop and disable the timer on removal and, on purge,
# remove the cache and what the helper wrote in /etc/quorvale.
set(QUORVALE_SYSTEMD_UNIT_DIR /lib/systemd/system CACHE PATH "Where the package installs its systemd units")
install(FILES ${packaging_source}/quorvale-update.service ${packaging_source}/quorvale-update.timer
        DESTINATION ${QUORVALE_SYSTEMD_UNIT_DIR})
install(FILES ${packaging_source}/sources.txt DESTINATION /etc/quorvale)
file(WRITE ${packaging_build}/conffiles "/etc/quorvale/sources.txt\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${packaging_build}/conffiles ${packaging_source}/debian/postinst
    ${packaging_source}/debian/prerm ${packaging_source}/debian/postrm)
# The scripts 0755 and the conffiles list 0644, whatever the checkout's modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Why lintian's warning on calling systemctl does not apply.
install(FILES ${packaging_source}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME quorvale)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvale)
set(CPACK_PACKAGE_VENDOR "The Quorvale developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "HOSTS file manager: block or redirect host names")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUORVALE_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its window-system plugins at run time, and the downloads open libcurl only when
# they start, so the libraries alone do not name them (libcurl4t64 is libcurl4's name from
# Debian 13 on); the window asks for administrator rights through pkexec.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libcurl4 (>= 7.85) | libcurl4t64 (>= 7.85), pkexec")
# French texts in Qt's own dialogs; xdg-open to show the report.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, xdg-utils")
# CPack puts the summary above this, as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quorvale collects host names to block or redirect from HOSTS files, plain
domain blocklists and lists of domain names only, shows them in two lists,
sorts them and removes the duplicates, and writes a new HOSTS file or
replaces the system one, keeping a backup copy of the old file beside it.
The window is in French.
.
The package also holds quorvale-cli, which runs the same loads, sorts and
writes from a shell, for scripts and scheduled jobs.")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
