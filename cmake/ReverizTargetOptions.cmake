# Per-target build settings shared by every target of this project. Nothing here
# touches directory or global state, so the project can live inside another one.

function(reveriz_target_options target)
    target_compile_features(${target} PUBLIC cxx_std_17)
    set_target_properties(${target} PROPERTIES
        CXX_STANDARD 17
        CXX_STANDARD_REQUIRED ON
        CXX_EXTENSIONS OFF
        AUTOMOC OFF)

    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(REVERIZ_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()

    # Qt: no silent byte array <-> char* conversions, which lose data at zero bytes.
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_BYTEARRAY
        QT_NO_CAST_TO_ASCII
        # Deprecated OpenSSL interfaces must not compile.
        OPENSSL_API_COMPAT=30000
        OPENSSL_NO_DEPRECATED)

    # Source paths in exception records start at the project root, wherever it
    # was checked out.
    target_compile_options(${target} PRIVATE "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=/")

    if(REVERIZ_SANITIZE)
        set(flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
        target_compile_options(${target} PRIVATE ${flags})
        target_link_options(${target} PRIVATE ${flags})
    endif()
    if(REVERIZ_SANITIZE_THREAD)
        set(flags -fsanitize=thread -fno-omit-frame-pointer)
        target_compile_options(${target} PRIVATE ${flags})
        target_link_options(${target} PRIVATE ${flags})
    endif()
endfunction()
