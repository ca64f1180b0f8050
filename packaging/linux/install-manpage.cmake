# Install step for the manual page: it names the autostart entry's real place, so the install
# prefix (/usr in the Debian package, /usr/local by default) is filled in only now. Expects
# page_template, page_work, datadir_relative and mandir_relative.
set(PELMORA_INSTALLED_DATADIR "${CMAKE_INSTALL_PREFIX}/${datadir_relative}")
# A path is typed as it reads: each hyphen a minus sign, not a typographic hyphen; a long one
# may break after a slash.
string(REPLACE "-" "\\-" PELMORA_INSTALLED_DATADIR "${PELMORA_INSTALLED_DATADIR}")
string(REPLACE "/" "/\\:" PELMORA_INSTALLED_DATADIR "${PELMORA_INSTALLED_DATADIR}")
get_filename_component(page_name "${page_template}" NAME_WLE)
configure_file("${page_template}" "${page_work}/${page_name}" @ONLY)
# Compressed without a time stamp, as Debian wants manual pages.
execute_process(COMMAND gzip -9 -n -f "${page_work}/${page_name}" RESULT_VARIABLE gzip_result)
if(NOT gzip_result EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${page_work}/${page_name}")
endif()
file(INSTALL "${page_work}/${page_name}.gz"
     DESTINATION "${CMAKE_INSTALL_PREFIX}/${mandir_relative}/man1"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
