# Installation: the library with its SONAME, the public headers, the host
# program and the simulator, the plug-ins, a CMake package, a pkg-config file,
# the man page and the documentation. Included at the end of the top-level
# CMakeLists.txt, once every target exists.
#
#   <prefix>/bin/kestrel, kestrel-readersim      RUNPATH $ORIGIN/../<libdir>
#   <prefix>/<libdir>/libkestrel.so.1.0.0 (+ .so.1, .so)
#   <prefix>/<libdir>/libkestrel-verify.so.1.0.0 (+ .so.1, .so)  the verifier engine
#   <prefix>/lib/kestrel/plugins/<name>, <name>.so
#   <prefix>/include/kestrel/*.h
#   <prefix>/<libdir>/cmake/Kestrel/              find_package(Kestrel)
#   <prefix>/<libdir>/pkgconfig/kestrel.pc, kestrel-verify.pc
#   <prefix>/share/man/man1/kestrel.1, kestrel-readersim.1
#   <prefix>/share/doc/Kestrel/
#
# <libdir> is the Multi-Arch directory lib/<tuple> (lib/x86_64-linux-gnu) where
# the compiler names a tuple, whatever the prefix, so that one build serves
# `make install` and the Debian packages; the loader searches it under /usr and
# /usr/local alike. Elsewhere it is GNUInstallDirs' choice. A builder may set
# CMAKE_INSTALL_LIBDIR.

if(NOT DEFINED CMAKE_INSTALL_LIBDIR AND CMAKE_LIBRARY_ARCHITECTURE)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}
    CACHE PATH "Object code libraries (lib/<multiarch tuple>)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KESTREL_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR})
set(KESTREL_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
# The installed kestrel program looks for its modules in ../lib/kestrel/plugins
# beside its own directory, whatever the library directory is.
set(KESTREL_INSTALL_PLUGINDIR lib/kestrel/plugins)
set(KESTREL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kestrel)
set(KESTREL_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Path from install directory `from` to `to` (each relative to the prefix,
# or absolute), for RUNPATHs and relocatable package files.
function(kestrel_relative_path out from to)
  if(IS_ABSOLUTE "${from}" OR IS_ABSOLUTE "${to}")
    foreach(dir from to)
      if(NOT IS_ABSOLUTE "${${dir}}")
        set(${dir} ${CMAKE_INSTALL_PREFIX}/${${dir}})
      endif()
    endforeach()
  else()
    set(from /kestrel-prefix/${from})
    set(to /kestrel-prefix/${to})
  endif()
  file(RELATIVE_PATH rel ${from} ${to})
  string(REGEX REPLACE "/+$" "" rel "${rel}")
  if(rel STREQUAL "")
    set(rel .)
  endif()
  set(${out} ${rel} PARENT_SCOPE)
endfunction()

# Programs and modules made in a directory and its subdirectories.
function(kestrel_binaries_in out dir)
  set(found)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "EXECUTABLE" OR type STREQUAL "MODULE_LIBRARY")
      list(APPEND found ${t})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    kestrel_binaries_in(more ${sub})
    list(APPEND found ${more})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# ---- Library and headers -------------------------------------------------
# libkestrel needs nothing but the C library, so it carries no RUNPATH.
set_target_properties(kestrel PROPERTIES INSTALL_RPATH "")
install(TARGETS kestrel
  LIBRARY DESTINATION ${KESTREL_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
# The verifier engine beside it; it needs only the C and C++ run-time.
set_target_properties(kestrel-verify PROPERTIES INSTALL_RPATH "")
install(TARGETS kestrel-verify
  LIBRARY DESTINATION ${KESTREL_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kestrel
  DESTINATION ${KESTREL_INSTALL_INCLUDEDIR} COMPONENT development
  FILES_MATCHING PATTERN "*.h")

# ---- Programs ---------------------------------------------------------------
kestrel_relative_path(bin_to_lib ${CMAKE_INSTALL_BINDIR} ${KESTREL_INSTALL_LIBDIR})
foreach(program kestrel-host kestrel-readersim)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_lib}")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  endif()
endforeach()

# ---- Plug-ins -----------------------------------------------------------------
# Every program and module made in plugins/ is a plug-in. They share nothing
# with the library and link only the C and C++ run-time, so no RUNPATH.
kestrel_binaries_in(KESTREL_PLUGIN_TARGETS ${PROJECT_SOURCE_DIR}/plugins)
foreach(t IN LISTS KESTREL_PLUGIN_TARGETS)
  set_target_properties(${t} PROPERTIES INSTALL_RPATH "")
  install(TARGETS ${t}
    RUNTIME DESTINATION ${KESTREL_INSTALL_PLUGINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${KESTREL_INSTALL_PLUGINDIR} COMPONENT runtime)
endforeach()

# ---- CMake package: find_package(Kestrel) -> Kestrel::kestrel, Kestrel::verify
# File name and SONAME of each library: KESTREL_LIB_FILE, KESTREL_LIB_SONAME,
# KESTREL_VERIFY_LIB_FILE, KESTREL_VERIFY_LIB_SONAME.
foreach(library kestrel kestrel-verify)
  get_target_property(version ${library} VERSION)
  get_target_property(soversion ${library} SOVERSION)
  string(MAKE_C_IDENTIFIER ${library} prefix)
  string(TOUPPER ${prefix} prefix)
  set(${prefix}_LIB_FILE lib${library}.so.${version})
  set(${prefix}_LIB_SONAME lib${library}.so.${soversion})
endforeach()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/KestrelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/KestrelConfig.cmake
  INSTALL_DESTINATION ${KESTREL_INSTALL_CMAKEDIR}
  PATH_VARS KESTREL_INSTALL_LIBDIR KESTREL_INSTALL_INCLUDEDIR KESTREL_INSTALL_PLUGINDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/KestrelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/KestrelConfig.cmake
              ${PROJECT_BINARY_DIR}/package/KestrelConfigVersion.cmake
  DESTINATION ${KESTREL_INSTALL_CMAKEDIR} COMPONENT development)

# ---- pkg-config: kestrel.pc, kestrel-verify.pc, relocatable through ${pcfiledir}
kestrel_relative_path(KESTREL_PC_TO_PREFIX ${KESTREL_INSTALL_PKGCONFIGDIR} "")
foreach(kind LIBDIR INCLUDEDIR PLUGINDIR)
  if(IS_ABSOLUTE "${KESTREL_INSTALL_${kind}}")
    set(KESTREL_PC_${kind} ${KESTREL_INSTALL_${kind}})
  else()
    set(KESTREL_PC_${kind} "\${prefix}/${KESTREL_INSTALL_${kind}}")
  endif()
endforeach()
foreach(pc kestrel kestrel-verify)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${PROJECT_BINARY_DIR}/package/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/package/${pc}.pc
    DESTINATION ${KESTREL_INSTALL_PKGCONFIGDIR} COMPONENT development)
endforeach()

# ---- Man pages and documentation ------------------------------------------------
# Copies in the build tree, so `man build/share/man/man1/kestrel.1` reads it
# before anything is installed.
foreach(page kestrel.1 kestrel-readersim.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/${page} ${PROJECT_BINARY_DIR}/share/man/man1/${page} COPYONLY)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/${page}
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/docs/host-guide.md ${PROJECT_SOURCE_DIR}/docs/verify.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT development)

# ---- Tests of the installed tree and of the documentation ----------------------
if(KESTREL_TESTS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/install ${PROJECT_BINARY_DIR}/tests/install)
endif()
