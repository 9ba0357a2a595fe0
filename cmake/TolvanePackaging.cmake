# Installs the pkg-config file and the licence, and describes the Debian packages that
# `cpack -G DEB` makes in the build folder.

# --- pkg-config -------------------------------------------------------------------------------
# The prefix is found from the .pc file's own folder, so the file stays right wherever the tree
# is installed: a scratch prefix, a package, a copied folder.
set(tolvane_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH tolvane_pc_up ${CMAKE_INSTALL_PREFIX}/${tolvane_pc_dir} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" tolvane_pc_up "${tolvane_pc_up}")
set(TOLVANE_PC_PREFIX "\${pcfiledir}/${tolvane_pc_up}")
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(TOLVANE_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(TOLVANE_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
# What linking the static library needs besides it: SQLite and the dynamic loader (on Windows
# neither: the settings live in the registry). With a shared library they are private
# (pkg-config --static); with only the static library every program needs them.
set(tolvane_pc_dl "")
foreach(lib IN LISTS CMAKE_DL_LIBS)
  string(APPEND tolvane_pc_dl " -l${lib}")
endforeach()
if(BUILD_SHARED_LIBS)
  set(TOLVANE_PC_REQUIRES "Requires.private")
  set(TOLVANE_PC_LIBS "")
  set(TOLVANE_PC_LIBS_PRIVATE "${tolvane_pc_dl}")
else()
  set(TOLVANE_PC_REQUIRES "Requires")
  set(TOLVANE_PC_LIBS "${tolvane_pc_dl}")
  set(TOLVANE_PC_LIBS_PRIVATE "")
endif()
if(WIN32)
  set(TOLVANE_PC_REQUIRES_LINE "")
else()
  set(TOLVANE_PC_REQUIRES_LINE "${TOLVANE_PC_REQUIRES}: sqlite3")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/tolvane.pc.in ${PROJECT_BINARY_DIR}/tolvane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tolvane.pc DESTINATION ${tolvane_pc_dir} COMPONENT dev)

# --- Debian packages --------------------------------------------------------------------------
# One package per role, as Debian ships libraries: the tool (with its manual page), the shared
# library under its SONAME (shared builds only), and the development files. A tool user needs
# neither headers nor SQLite's development package, and the runtime package is named after the
# SONAME so that programs built against one interface version keep working while another is
# installed. The tool carries the library's internals itself in every build; in a static build
# there is no runtime package.
set(tolvane_runtime_package libtolvane${TOLVANE_SOVERSION})
set(CPACK_COMPONENTS_ALL dev)
if(TOLVANE_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tool)
endif()
if(BUILD_SHARED_LIBS)
  list(APPEND CPACK_COMPONENTS_ALL runtime)
  set(CPACK_COMPONENT_DEV_DEPENDS runtime)
endif()
if(TOLVANE_PYTHON_PACKAGE)
  list(APPEND CPACK_COMPONENTS_ALL python)
  set(CPACK_COMPONENT_PYTHON_DEPENDS runtime)
endif()

set(tolvane_package_tool tolvane-crypt)
set(tolvane_package_runtime ${tolvane_runtime_package})
set(tolvane_package_dev libtolvane-dev)
set(tolvane_package_python python3-tolvane)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE RENAME copyright
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${tolvane_package_${component}}
    COMPONENT ${component})
endforeach()

set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VENDOR "The Tolvane developers")
set(CPACK_PACKAGE_CONTACT "The Tolvane developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${tolvane_package_tool})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOL_DESCRIPTION
  "Blowfish file and text encryption on the command line
 tolvane-crypt encrypts and decrypts files in a length-prefixed format and text
 through its hexadecimal code with Blowfish in electronic-codebook mode, decodes
 Base64 and reads and writes the Tolvane settings store. The format has no
 integrity check; it serves data that programs already hold.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${tolvane_package_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Tolvane cipher components (shared library)
 Blowfish in electronic-codebook mode for byte arrays, text and files, a
 hexadecimal text code, a Base64 decoder and a per-user settings store.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME ${tolvane_package_python})
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3")
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
  "Tolvane cipher components (Python package)
 The module tolvane: Blowfish encryption of bytes, text and files, the
 hexadecimal text code, Base64 decoding and the code page, over the shared
 library's C interface with ctypes.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${tolvane_package_dev})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The CMake package and pkg-config --static both look for SQLite's development files.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libsqlite3-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "Tolvane cipher components (development files)
 Headers, the CMake package (find_package(Tolvane)) and the pkg-config file
 (tolvane) for the Tolvane cipher components.")

# Run-time dependencies come from the binaries (libsqlite3-0, libstdc++6, libc6). GTK 3
# is loaded only when present, for the message box, so it is a recommendation; the tool shows
# its messages on standard error and never loads it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(BUILD_SHARED_LIBS)
  # dpkg-shlibdeps finds the library in the build folder and passes over it.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/tolvane)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "libgtk-3-0")
else()
  set(CPACK_DEBIAN_DEV_PACKAGE_RECOMMENDS "libgtk-3-0")
endif()

include(CPack)

# Makes the packages in the build folder, unpacks them into a scratch root and runs the tool
# from there; skipped where dpkg's tools are missing. Both this and install_consumer install
# from the build folder, so they do not run at the same time.
if(TOLVANE_BUILD_TESTS AND TOLVANE_BUILD_TOOLS AND NOT TOLVANE_SANITIZE AND NOT CMAKE_CROSSCOMPILING)
  add_test(NAME debian_package
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/debian-package/run ${PROJECT_BINARY_DIR})
  set_tests_properties(debian_package PROPERTIES SKIP_RETURN_CODE 77 RESOURCE_LOCK install_tree
    TIMEOUT 300)
  set_tests_properties(install_consumer PROPERTIES RESOURCE_LOCK install_tree)
endif()
