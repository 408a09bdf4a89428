# The API reference: HTML written by Doxygen from the comments of the public headers (the library's header set)
# into docs/html of the build directory. Doxygen's warnings (an undocumented public declaration, a broken
# reference) fail the build. Included by the top-level CMakeLists.txt when REVERIZ_BUILD_DOCS is on.

find_package(Doxygen)
if(NOT DOXYGEN_FOUND)
    message(STATUS "Reveriz: doxygen not found, so the API reference is not built")
    return()
endif()

get_target_property(reveriz_docs_headers reverizcommon HEADER_SET)
# The generated export header holds nothing to document.
list(FILTER reveriz_docs_headers EXCLUDE REGEX "/reverizexport\\.h$")
list(JOIN reveriz_docs_headers "\" \"" REVERIZ_DOCS_INPUT)
set(REVERIZ_DOCS_INPUT "\"${REVERIZ_DOCS_INPUT}\"")
set(REVERIZ_DOCS_OUTPUT "${PROJECT_BINARY_DIR}/docs")
configure_file(docs/Doxyfile.in "${REVERIZ_DOCS_OUTPUT}/Doxyfile" @ONLY)

# The stamp is written only when Doxygen succeeds, so a failed run is repeated; pages of removed declarations go.
add_custom_command(OUTPUT "${REVERIZ_DOCS_OUTPUT}/html.stamp"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${REVERIZ_DOCS_OUTPUT}/html"
    COMMAND Doxygen::doxygen "${REVERIZ_DOCS_OUTPUT}/Doxyfile"
    COMMAND "${CMAKE_COMMAND}" -E touch "${REVERIZ_DOCS_OUTPUT}/html.stamp"
    DEPENDS "${REVERIZ_DOCS_OUTPUT}/Doxyfile" ${reveriz_docs_headers}
    COMMENT "Writing the API reference with Doxygen"
    VERBATIM)
add_custom_target(reveriz_docs ALL DEPENDS "${REVERIZ_DOCS_OUTPUT}/html.stamp")
