# The Debian package, made by CPack from the install rules:
#
#   cpack --config build/CPackConfig.cmake    -> build/package/bxf2-import_<version>_<arch>.deb
#
# (scripts/package.sh builds, packs and checks it). Depends is computed by
# dpkg-shlibdeps from the shared libraries the programs and plug-in modules
# load, so installing the package pulls in what they need and nothing else.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${BXF_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "BXF2 import maintainers")
set(CPACK_PACKAGE_CONTACT "BXF2 import maintainers <maintainers@users.noreply.c-seed-d6be99ee.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "import BXF2 furniture files into a 3D project")
set(CPACK_PACKAGE_DESCRIPTION
    "The BXF2 import plug-in of an interior and furniture design application,
with a reference host that loads it through its real plug-in protocol, and
two command-line programs on top of them.

bxf2-import reads BXF2 files (an XML exchange format for cabinets, their
parts, hardware and articles) and ZIP archives that carry them together with
COLLADA meshes, builds the furniture into a project and writes the project as
glTF binary and JSON. bxf2-inspect prints the document model of a BXF2 file
as JSON, or why the file does not read.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
