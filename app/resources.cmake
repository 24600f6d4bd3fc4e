# Resources of quillfen.exe (Windows build only): app/quillfen.rc with the
# dialogs and the version block, and the program icon, which
# tools/make_icon.py draws into the build folder at build time.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(QUILLFEN_ICON ${CMAKE_BINARY_DIR}/quillfen.ico)
add_custom_command(
  OUTPUT ${QUILLFEN_ICON}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tools/make_icon.py ${QUILLFEN_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_icon.py
  COMMENT "Drawing the program icon"
  VERBATIM)

# windres finds the icon and base/resource.h through the include path;
# OBJECT_DEPENDS recompiles the .rc when either changes.
set_source_files_properties(${CMAKE_SOURCE_DIR}/app/quillfen.rc PROPERTIES
  INCLUDE_DIRECTORIES "${CMAKE_BINARY_DIR};${CMAKE_SOURCE_DIR}"
  OBJECT_DEPENDS "${QUILLFEN_ICON};${CMAKE_SOURCE_DIR}/base/resource.h")

# The icon is listed as a source too, so that its custom command belongs
# to the executable's target; it is not compiled.
set(QUILLFEN_RC_SOURCES
  ${CMAKE_SOURCE_DIR}/app/quillfen.rc
  ${QUILLFEN_ICON})
