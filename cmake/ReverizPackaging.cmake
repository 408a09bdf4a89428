# Three Debian packages, one per install component (ReverizInstall.cmake), in Debian's library layout:
#   libreveriz0     the shared library libreveriz.so.0, with its shlibs file and the ldconfig trigger (the names
#                   follow the SOVERSION, src/common/CMakeLists.txt)
#   libreveriz-dev  the headers, the libreveriz.so link, the static library, the CMake and pkg-config files and the
#                   API reference
#   reveriz-tools   keyutility and encryptlog, their man pages and keyutility's bash completion
# Build them with `cpack` in a build directory configured with -DCMAKE_INSTALL_PREFIX=/usr, so that the libraries
# land in Debian's multiarch directory.

if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "Reveriz: the Debian packages are meant to be built with -DCMAKE_INSTALL_PREFIX=/usr "
                   "(now ${CMAKE_INSTALL_PREFIX}, so the library would go to /usr/${CMAKE_INSTALL_LIBDIR})")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME reveriz)
set(CPACK_PACKAGE_VENDOR "Reveriz developers")
set(CPACK_PACKAGE_CONTACT "Reveriz developers <maintainers@reveriz.example.org>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
# Each package's description (below) starts with its own summary line; CPack would put a common one before it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
# Executables and the shared library lose their symbol tables; the static library keeps them and loses its
# debugging information only (ReverizInstall.cmake).
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${REVERIZ_LIBRARY_PACKAGE} libreveriz-dev reveriz-tools)
string(TOUPPER "${REVERIZ_LIBRARY_PACKAGE}" reveriz_lib)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps derives Depends from the shared libraries each package's binaries load (Qt 6 Core, libssl3,
# JsonCpp, ISA-L, libdeflate, the C and C++ run-time libraries), with the minimum versions their symbols need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/src/common")
set(reveriz_deb_version "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")

# The extended descriptions, as dpkg shows them: lines of at most 80 columns, an empty line between paragraphs.
set(reveriz_about
    "Reveriz is the shared encryption library of a secure package-exchange system:\n"
    "actor key pairs, RSA envelopes and signatures, symmetric keys, the encrypted\n"
    "data format, wrapped keys and key files.\n")

set(CPACK_DEBIAN_${reveriz_lib}_PACKAGE_NAME ${REVERIZ_LIBRARY_PACKAGE})
set(CPACK_DEBIAN_${reveriz_lib}_PACKAGE_SECTION libs)
# The shlibs file tells dpkg-shlibdeps of other packages that a program linked against libreveriz.so.0 needs
# the library package of at least this version (the packages without a shared library get none). The triggers file
# runs ldconfig after the library is installed or removed; CPack's postinst and postrm call it too.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_${reveriz_lib}_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/cmake/debian/triggers")
set(CPACK_COMPONENT_${reveriz_lib}_DESCRIPTION
    "encryption library of the package-exchange system\n" ${reveriz_about} "\n"
    "This package holds the shared library.")

set(CPACK_DEBIAN_LIBREVERIZ-DEV_PACKAGE_NAME libreveriz-dev)
set(CPACK_DEBIAN_LIBREVERIZ-DEV_PACKAGE_SECTION libdevel)
# The public headers include Qt 6 Core's, OpenSSL's and JsonCpp's, and the static library links ISA-L and
# libdeflate besides: building against either needs their development packages.
set(CPACK_DEBIAN_LIBREVERIZ-DEV_PACKAGE_DEPENDS
    "${REVERIZ_LIBRARY_PACKAGE} (= ${reveriz_deb_version}), qt6-base-dev (>= 6.2), libssl-dev (>= 3.0), libjsoncpp-dev (>= 1.9), "
    "libisal-dev, libdeflate-dev")
list(JOIN CPACK_DEBIAN_LIBREVERIZ-DEV_PACKAGE_DEPENDS "" CPACK_DEBIAN_LIBREVERIZ-DEV_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_LIBREVERIZ-DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_LIBREVERIZ-DEV_DESCRIPTION
    "encryption library of the package-exchange system (development files)\n" ${reveriz_about} "\n"
    "This package holds the headers, the static library, the CMake package\n"
    "(find_package(Reveriz), targets Reveriz::common and Reveriz::common_static),\n"
    "the pkg-config file (reveriz) and the API reference in HTML.")

set(CPACK_DEBIAN_REVERIZ-TOOLS_PACKAGE_NAME reveriz-tools)
set(CPACK_DEBIAN_REVERIZ-TOOLS_PACKAGE_SECTION utils)
# dpkg-shlibdeps finds the library in the build tree, where no shlibs file names its package.
set(CPACK_DEBIAN_REVERIZ-TOOLS_PACKAGE_DEPENDS "${REVERIZ_LIBRARY_PACKAGE} (>= ${reveriz_deb_version})")
set(CPACK_COMPONENT_REVERIZ-TOOLS_DESCRIPTION
    "key tools of the package-exchange system\n" ${reveriz_about} "\n"
    "This package holds the command-line tools keyutility, which creates protocol\n"
    "key pairs and decrypts, shows and re-wraps encrypted log files, and\n"
    "encryptlog, which writes them, with their manual pages and keyutility's bash\n"
    "completion.")
foreach(component IN ITEMS ${reveriz_lib} LIBREVERIZ-DEV REVERIZ-TOOLS)
    list(JOIN CPACK_COMPONENT_${component}_DESCRIPTION "" CPACK_COMPONENT_${component}_DESCRIPTION)
endforeach()

# Debian's place for a package's documents is share/doc/<package>: each package has its copyright file and its
# changelog there, the changelog compressed without name and time, so that builds are reproducible.
find_program(REVERIZ_GZIP gzip REQUIRED)
set(reveriz_changelog "${PROJECT_BINARY_DIR}/debian/changelog.Debian")
configure_file(cmake/debian/changelog.in "${reveriz_changelog}" @ONLY)
add_custom_command(OUTPUT "${reveriz_changelog}.gz"
    COMMAND "${REVERIZ_GZIP}" -9 -n -k -f "${reveriz_changelog}"
    DEPENDS "${reveriz_changelog}"
    VERBATIM)
add_custom_target(reveriz_changelog ALL DEPENDS "${reveriz_changelog}.gz")
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
    if(component STREQUAL reveriz-tools AND NOT REVERIZ_BUILD_TOOLS)
        continue()
    endif()
    install(FILES "${PROJECT_SOURCE_DIR}/cmake/debian/copyright" "${reveriz_changelog}.gz"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${component}" COMPONENT ${component})
endforeach()

include(CPack)
