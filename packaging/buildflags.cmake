# The hardening flags of a Debian build, as dpkg-buildflags gives them with every hardening
# feature on: _FORTIFY_SOURCE, the stack protector, format-string checks, RELRO and
# immediate binding (PIE is the compiler's default on Debian). On by default where
# dpkg-buildflags is found, for every build type that optimises, because the package is
# built from the tested build folder; the sanitizer and fuzz builds bring their own flags.
# The optimisation and debug levels stay those of CMAKE_BUILD_TYPE.
find_program(KIV_DPKG_BUILDFLAGS dpkg-buildflags)
set(kiv_harden_default OFF)
if(KIV_DPKG_BUILDFLAGS AND NOT KIV_SANITIZE AND NOT KIV_TSAN AND NOT KIV_FUZZ
   AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    set(kiv_harden_default ON)
endif()
option(KIV_HARDEN "Build with the hardening flags of dpkg-buildflags" ${kiv_harden_default})

if(KIV_HARDEN)
    if(NOT KIV_DPKG_BUILDFLAGS)
        message(FATAL_ERROR "KIV_HARDEN needs dpkg-buildflags (package dpkg-dev)")
    endif()
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    "DEB_CXXFLAGS_MAINT_STRIP=-g -O2" ${KIV_DPKG_BUILDFLAGS} --get ${kind}
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        set(kiv_${kind} ${flags})
    endforeach()
    # _FORTIFY_SOURCE marks more of the C library's functions "warn_unused_result", which a
    # cast to void does not silence; where the sources ignore such a result on purpose the
    # warning stays a warning, also under KIV_WERROR.
    add_compile_options(${kiv_CPPFLAGS} ${kiv_CXXFLAGS} -Wno-error=unused-result)
    add_link_options(${kiv_LDFLAGS})
    message(STATUS "Hardening flags: ${kiv_CPPFLAGS} ${kiv_CXXFLAGS} ${kiv_LDFLAGS}")
endif()
