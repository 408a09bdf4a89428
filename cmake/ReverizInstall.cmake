# Install rules: the tools, their man pages and keyutility's bash completion, the shared and the static library with
# their public headers, the CMake package "Reveriz" with the imported targets Reveriz::common (shared) and
# Reveriz::common_static, the pkg-config file reveriz.pc, and the API reference when it is built. Included by the top-level CMakeLists.txt once all targets exist.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(REVERIZ_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/Reveriz")
set(REVERIZ_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/reveriz")

# Package directories get 0755 whatever the umask of whoever builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Installed users write Reveriz::common for the shared library and Reveriz::common_static for the static one. The
# install components are the Debian packages (ReverizPackaging.cmake): libreveriz<SOVERSION> the shared library,
# libreveriz-dev what building against it needs, reveriz-tools the tools.
get_target_property(reveriz_soversion reverizshared SOVERSION)
set(REVERIZ_LIBRARY_PACKAGE "libreveriz${reveriz_soversion}")
set_target_properties(reverizshared PROPERTIES EXPORT_NAME common)
set_target_properties(reverizcommon PROPERTIES EXPORT_NAME common_static)

install(TARGETS reverizshared EXPORT ReverizTargets
    LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT ${REVERIZ_LIBRARY_PACKAGE} NAMELINK_COMPONENT libreveriz-dev
    INCLUDES DESTINATION "${REVERIZ_INSTALL_INCLUDEDIR}")
install(TARGETS reverizcommon EXPORT ReverizTargets
    ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT libreveriz-dev
    FILE_SET HEADERS DESTINATION "${REVERIZ_INSTALL_INCLUDEDIR}" COMPONENT libreveriz-dev
    INCLUDES DESTINATION "${REVERIZ_INSTALL_INCLUDEDIR}")
# A stripping install (cmake --install --strip, or CPack with CPACK_STRIP_FILES) strips executables and shared
# libraries but leaves static libraries alone. Strip the archive's debugging information as Debian does, keeping
# the symbols that linking needs, and deterministically so that packages are reproducible.
install(CODE "set(reveriz_strip [[${CMAKE_STRIP}]])
set(reveriz_archive [[${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:reverizcommon>]])" COMPONENT libreveriz-dev)
install(CODE [[
    if(CMAKE_INSTALL_DO_STRIP)
        cmake_path(ABSOLUTE_PATH reveriz_archive BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
        execute_process(COMMAND "${reveriz_strip}" --strip-debug --enable-deterministic-archives
                                "$ENV{DESTDIR}${reveriz_archive}"
                        COMMAND_ERROR_IS_FATAL ANY)
    endif()
]] COMPONENT libreveriz-dev)
install(EXPORT ReverizTargets
    NAMESPACE Reveriz::
    DESTINATION "${REVERIZ_INSTALL_CMAKEDIR}"
    COMPONENT libreveriz-dev)

configure_package_config_file(cmake/ReverizConfig.cmake.in "${PROJECT_BINARY_DIR}/ReverizConfig.cmake"
    INSTALL_DESTINATION "${REVERIZ_INSTALL_CMAKEDIR}")
# Before 1.0 a minor release may change the interface, so only patch releases of the same minor one match.
write_basic_package_version_file("${PROJECT_BINARY_DIR}/ReverizConfigVersion.cmake"
    VERSION "${PROJECT_VERSION}"
    COMPATIBILITY SameMinorVersion)
install(FILES "${PROJECT_BINARY_DIR}/ReverizConfig.cmake" "${PROJECT_BINARY_DIR}/ReverizConfigVersion.cmake"
    DESTINATION "${REVERIZ_INSTALL_CMAKEDIR}"
    COMPONENT libreveriz-dev)

# The pkg-config file finds its prefix from its own place, so the installed tree can be moved (cmake --install
# --prefix DIR, a package's /usr) without rewriting it.
file(RELATIVE_PATH REVERIZ_PC_PREFIX "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" REVERIZ_PC_PREFIX "${REVERIZ_PC_PREFIX}")
file(RELATIVE_PATH REVERIZ_PC_LIBDIR "${CMAKE_INSTALL_PREFIX}" "${CMAKE_INSTALL_FULL_LIBDIR}")
file(RELATIVE_PATH REVERIZ_PC_INCLUDEDIR "${CMAKE_INSTALL_PREFIX}" "${CMAKE_INSTALL_FULL_INCLUDEDIR}/reveriz")
configure_file(cmake/reveriz.pc.in "${PROJECT_BINARY_DIR}/reveriz.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/reveriz.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig"
    COMPONENT libreveriz-dev)

if(TARGET reveriz_docs)
    install(DIRECTORY "${REVERIZ_DOCS_OUTPUT}/html" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/libreveriz-dev"
        COMPONENT libreveriz-dev)
endif()

if(REVERIZ_BUILD_TOOLS)
    install(TARGETS keyutility encryptlog RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT reveriz-tools)

    # Man pages are installed compressed, as Debian's policy asks; -n keeps the name and time out of the
    # archive so that builds are reproducible.
    find_program(REVERIZ_GZIP gzip REQUIRED)
    set(reveriz_man_pages)
    foreach(page IN ITEMS keyutility.1 encryptlog.1)
        set(compressed "${PROJECT_BINARY_DIR}/man/${page}.gz")
        add_custom_command(OUTPUT "${compressed}"
            COMMAND "${CMAKE_COMMAND}" -E copy "${PROJECT_SOURCE_DIR}/man/${page}" "${PROJECT_BINARY_DIR}/man/${page}"
            COMMAND "${REVERIZ_GZIP}" -9 -n -f "${PROJECT_BINARY_DIR}/man/${page}"
            DEPENDS "${PROJECT_SOURCE_DIR}/man/${page}"
            COMMENT "Compressing man page ${page}"
            VERBATIM)
        list(APPEND reveriz_man_pages "${compressed}")
    endforeach()
    add_custom_target(reveriz_man_pages ALL DEPENDS ${reveriz_man_pages})
    install(FILES ${reveriz_man_pages} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT reveriz-tools)

    # Where bash-completion looks for a command's completion when it is first used.
    install(FILES "${PROJECT_BINARY_DIR}/completions/keyutility"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" COMPONENT reveriz-tools)
endif()
