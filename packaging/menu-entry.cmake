# Writes the menu entry for the folder the program is installed to, which is
# known only at install time (cmake --install --prefix overrides the
# configured one). The entry starts the program in its folder, where the
# database is looked up.
#
# Set before including: entry_template, entry_folder (relative to the
# installation folder, or absolute).
set(folder "${CMAKE_INSTALL_PREFIX}")
# The few characters an entry's command would need escaped never occur in
# an installation folder worth supporting.
if(folder MATCHES "[\"`$\\\\]")
  message(FATAL_ERROR "A menu entry cannot name the folder ${folder}")
endif()
cmake_path(ABSOLUTE_PATH entry_folder BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
get_filename_component(entry_name "${entry_template}" NAME_WLE)
set(entry "$ENV{DESTDIR}${entry_folder}/${entry_name}")
message(STATUS "Installing: ${entry}")
configure_file("${entry_template}" "${entry}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
