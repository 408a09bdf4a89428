# One Debian package, "reveriz", with everything cmake --install installs: the tools and their man pages, the
# static library, its headers, its CMake and pkg-config files and its API reference. Build it with `cpack` in a
# build directory configured with -DCMAKE_INSTALL_PREFIX=/usr, so that the library lands in Debian's multiarch
# directory.

if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(STATUS "Reveriz: the Debian package is meant to be built with -DCMAKE_INSTALL_PREFIX=/usr "
                   "(now ${CMAKE_INSTALL_PREFIX}, so the library would go to /usr/${CMAKE_INSTALL_LIBDIR})")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME reveriz)
set(CPACK_PACKAGE_VENDOR "Reveriz developers")
set(CPACK_PACKAGE_CONTACT "Reveriz developers <maintainers@reveriz.example.org>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "encryption library and key tools of the package-exchange system")
# The extended description, as dpkg shows it: lines of at most 80 columns, an empty line between paragraphs.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Reveriz is the shared encryption library of a secure package-exchange system:\n"
    "actor key pairs, RSA envelopes and signatures, symmetric keys, the encrypted\n"
    "data format, wrapped keys and key files.\n"
    "\n"
    "This package holds the command-line tools keyutility, which creates protocol\n"
    "key pairs and decrypts, shows and re-wraps encrypted log files, and\n"
    "encryptlog, which writes them, with their manual pages and keyutility's bash\n"
    "completion; and the static library with its headers, its CMake package\n"
    "(find_package(Reveriz), target reveriz::common), its pkg-config file\n"
    "(reveriz) and its API reference in HTML.")
# Executables lose their symbols; the static library keeps them and loses its debugging information only.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# The tools are what most installations are for; the library comes along for programs built against it.
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps derives Depends from the shared libraries the tools load (Qt 6 Core, libssl3, JsonCpp, ISA-L,
# libdeflate and the C and C++ run-time libraries), with the minimum versions their symbols need.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Building against the static library needs the development files of what it links. They are recommended, not
# required: apt installs them by default, and a machine that only runs the tools can leave them out
# (--no-install-recommends) instead of pulling in Qt's whole development stack.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-base-dev (>= 6.2), libssl-dev (>= 3.0), libjsoncpp-dev (>= 1.9), libisal-dev, libdeflate-dev")

include(CPack)
