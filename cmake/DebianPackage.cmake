# The Debian package (cpack -G DEB, from the release preset): transmitter and orvane-sim in
# /usr/bin, their manual pages, the README, the sample scripts, the changelog and the copyright file under
# /usr/share/doc/transmitter, the Ansible collection tessaly.transmitter where ansible-core finds
# collections (its module also under /usr/share/transmitter/ansible, for one release), and the
# machine-wide log folder, made shareable by the
# maintainer scripts. Dependencies come from dpkg-shlibdeps.
set(debian_folder ${PROJECT_SOURCE_DIR}/packaging/debian)
set(doc_folder ${CMAKE_INSTALL_DATAROOTDIR}/doc/transmitter)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/guide.md
    ${PROJECT_SOURCE_DIR}/docs/report.schema.json ${PROJECT_SOURCE_DIR}/docs/stream.schema.json
    ${debian_folder}/copyright DESTINATION ${doc_folder})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/samples/ DESTINATION ${doc_folder}/samples)
# The Ansible collection, in ansible-core's own collections path; its module also where
# ANSIBLE_LIBRARY pointed before, for one release.
set(collection ${PROJECT_SOURCE_DIR}/ansible/ansible_collections/tessaly/transmitter)
install(DIRECTORY ${collection}/
    DESTINATION ${CMAKE_INSTALL_DATADIR}/ansible/collections/ansible_collections/tessaly/transmitter
    PATTERN tests/output EXCLUDE)
install(FILES ${collection}/plugins/modules/transmitter.py
    DESTINATION ${CMAKE_INSTALL_DATADIR}/transmitter/ansible)
install(FILES ${debian_folder}/transmitter.logrotate DESTINATION /etc/logrotate.d
    RENAME transmitter)
# Debian keeps its changelog compressed, with the date of the newest entry as the file's.
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${changelog}
    COMMAND gzip -n -9 -c ${debian_folder}/changelog > ${changelog}
    DEPENDS ${debian_folder}/changelog)
add_custom_target(debian-changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${doc_folder})

# The manual pages, compressed as Debian keeps them.
foreach(page transmitter.1 orvane-sim.1)
    set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND gzip -n -9 -c ${PROJECT_SOURCE_DIR}/docs/${page} > ${compressed}
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/${page})
    list(APPEND manual_pages ${compressed})
endforeach()
add_custom_target(manual-pages ALL DEPENDS ${manual_pages})
install(FILES ${manual_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The log folder is installed by an absolute path: the package is staged through DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME transmitter)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Orvane transmitter team <transmitter@orvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Tessaly command transmitter for Orvane servers, with a server simulator")
set(CPACK_PACKAGE_DESCRIPTION
    "Sends the text commands of the Tessaly control protocol over TCP to Orvane servers, checks every answer, and runs script files that address many hosts at once. orvane-sim keeps the answer protocol, so that scripts can be rehearsed without hardware.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# --install publishes the script types to the desktop through these tools when they are there.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${debian_folder}/postinst ${debian_folder}/prerm
    ${debian_folder}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_STRIP_FILES ON)
include(CPack)
