# The i686 MinGW-w64 tree: size settings, the native packer, the payload, the
# Wine test prefixes, and the helper functions that res/, app/ and tests/win32/
# use. Included by the top CMakeLists before those folders.
include(ExternalProject)

if(NOT CMAKE_BUILD_TYPE)
    set(CMAKE_BUILD_TYPE MinSizeRel CACHE STRING "Build type" FORCE)
endif()

# Every function and object in a section of its own, so the linker drops what
# nothing uses; every program linked statically (libgcc, libstdc++, winpthread),
# so it needs nothing under Wine or Windows beyond the system's own DLLs.
add_compile_options(-ffunction-sections -fdata-sections)

# The target: i686, the shipped setup32.exe, or x86_64, a test vehicle of the
# same sources for machines that cannot run 32-bit programs (the x86_64 preset).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(YELK_ARCH x86_64)
else()
    set(YELK_ARCH i686)
endif()

# C symbols as the linker sees them: i686 puts an underscore before each name
# and decorates stdcall ones with their argument bytes (@12); x86_64 does
# neither. Link options spell a C name ${YELK_C_PREFIX}name.
if(YELK_ARCH STREQUAL x86_64)
    set(YELK_C_PREFIX "")
    set(YELK_STDCALL_SUFFIX_12 "")
else()
    set(YELK_C_PREFIX "_")
    set(YELK_STDCALL_SUFFIX_12 "@12")
endif()
add_link_options(-static -Wl,--gc-sections)
# Paths the compiler records (__FILE__, debug information) are cut to their part
# inside the source or build tree, so that no program depends on where the
# trees lie. The build tree is named last: it wins when it lies inside the
# source tree.
add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")

# ---- The native packer ----

set(YELK_PACKER "" CACHE FILEPATH
    "A native yelkpack to use (e.g. build/native/tools/yelkpack); empty builds one in this tree")
if(YELK_PACKER)
    set(YELKPACK ${YELK_PACKER})
    add_custom_target(yelkpack_native)
else()
    # This same source tree configured natively, tools only.
    set(yelk_tools_dir ${CMAKE_BINARY_DIR}/native-tools)
    set(YELKPACK ${yelk_tools_dir}/bin/yelkpack)
    ExternalProject_Add(yelkpack_native
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${yelk_tools_dir}
        CMAKE_ARGS
            -DYELK_TOOLS_ONLY=ON
            -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${yelk_tools_dir}/bin
        INSTALL_COMMAND ""
        # Rebuild whenever the packer's sources change (make decides quickly).
        BUILD_ALWAYS ON
        BUILD_BYPRODUCTS ${YELKPACK})
endif()

# ---- The payload ----

set(YELK_GEN_DIR ${CMAKE_BINARY_DIR}/payload)
set(YELK_PAYLOAD_FILE ${YELK_GEN_DIR}/payload.bin)
set(YELK_CRC_HEADER ${YELK_GEN_DIR}/payload_crc.h)
file(MAKE_DIRECTORY ${YELK_GEN_DIR})
file(GLOB yelk_client_files CONFIGURE_DEPENDS ${YELK_PAYLOAD_DIR}/*)
# Changes when another folder is chosen, whose files may be older than the
# payload packed before: the payload is then packed again.
file(CONFIGURE OUTPUT ${YELK_GEN_DIR}/payload_dir.txt CONTENT "${YELK_PAYLOAD_DIR}\n")
add_custom_command(
    OUTPUT ${YELK_PAYLOAD_FILE} ${YELK_CRC_HEADER}
    COMMAND ${YELKPACK} pack ${YELK_PAYLOAD_DIR} -o ${YELK_PAYLOAD_FILE} --crc-header ${YELK_CRC_HEADER}
    DEPENDS ${yelk_client_files} ${YELK_GEN_DIR}/payload_dir.txt ${YELKPACK} yelkpack_native
    COMMENT "Packing ${YELK_PAYLOAD_DIR}"
    VERBATIM)
add_custom_target(yelk_payload DEPENDS ${YELK_PAYLOAD_FILE} ${YELK_CRC_HEADER})

# ---- Wine prefixes for tests ----

set(YELK_WINE_ROOT ${CMAKE_BINARY_DIR}/wine)
set(YELK_PREFIX_SH ${CMAKE_SOURCE_DIR}/tests/wine/prefix.sh)

# The Wine loader the tests start programs with. Debian's `wine` takes the
# 32-bit loader whenever wine32 is installed, so the x86_64 tree names the
# 64-bit loader itself; it makes and runs 64-bit prefixes only. prefix.sh
# keeps the loader in each prefix's env file for wine-run.sh and the scripts.
if(YELK_ARCH STREQUAL x86_64)
    set(yelk_default_loader /usr/lib/wine/wine64)
    set(YELK_WINE_ARCH win64)
else()
    set(yelk_default_loader wine)
    set(YELK_WINE_ARCH win32)
endif()
set(YELK_WINE_LOADER ${yelk_default_loader} CACHE STRING "Wine loader for this tree's test programs")

# Run under qemu-i386 (the i686-qemu tier, scripts/windows-tier.sh): every
# 32-bit instruction of Wine and of the programs is emulated. Set by
# scripts/test.sh; it only gives the tests the time that takes.
option(YELK_WINE_EMULATED "Windows tests run under qemu-i386 (the i686-qemu tier)" OFF)
# Longest a Wine test may take, in seconds: making a template prefix, setting
# one up for a test program, one test case, one end-to-end group. Under
# qemu-i386 the longest of each, measured on two cores shared with other work
# (2026-12-11, the whole suite in 23 min): 21 s, 14 s, 37 s (test_dialog's
# group retries) and 275 s (e2e.versions); a busier machine took about twice
# as long. The limits leave three times that, so that a hang still ends well
# inside CI's time.
if(YELK_WINE_EMULATED)
    set(YELK_TIMEOUT_TEMPLATE 300)
    set(YELK_TIMEOUT_SETUP 300)
    set(YELK_TIMEOUT_CASE 300)
    set(YELK_TIMEOUT_E2E 1800)
else()
    set(YELK_TIMEOUT_TEMPLATE 300)
    set(YELK_TIMEOUT_SETUP 120)
    set(YELK_TIMEOUT_CASE 120)
    set(YELK_TIMEOUT_E2E 300)
endif()
# prefix.sh with this tree's loader.
set(YELK_PREFIX_CMD ${CMAKE_COMMAND} -E env YELK_WINE_LOADER=${YELK_WINE_LOADER} ${YELK_PREFIX_SH})

# One fresh prefix is made per run of the tests (kept between runs while Wine
# stays the same); each test program then gets a copy of its own. In the i686
# tree a 64-bit template serves the tests that ask for a 64-bit prefix (32-bit
# programs run there under WoW64); without wine64 it and they are skipped
# (exit code 77). In the x86_64 tree every prefix is 64-bit: one template.
add_test(NAME wine.template COMMAND ${YELK_PREFIX_CMD} template ${YELK_WINE_ROOT}/template ${YELK_WINE_ARCH})
set_tests_properties(wine.template PROPERTIES FIXTURES_SETUP wine_template TIMEOUT ${YELK_TIMEOUT_TEMPLATE})
if(YELK_ARCH STREQUAL i686)
    add_test(NAME wine.template64 COMMAND ${YELK_PREFIX_CMD} template ${YELK_WINE_ROOT}/template64 win64)
    set_tests_properties(wine.template64 PROPERTIES
        FIXTURES_SETUP wine_template64 TIMEOUT ${YELK_TIMEOUT_TEMPLATE} SKIP_RETURN_CODE 77)
endif()

# yelk_wine_fixture(name [win64]): tests that require fixture wine_<name> run
# in a prefix of their own at ${YELK_WINE_ROOT}/<name> (32-bit, or 64-bit when
# asked; always 64-bit in the x86_64 tree), on an Xvfb display of their own, with a persistent wineserver that
# the cleanup stops, and without the folder windows Wine's Program Manager
# service opens (tests/wine/prefix.sh, quiet_folders). Give those tests ENVIRONMENT
# YELK_WINE_DIR=${YELK_WINE_ROOT}/<name> (yelk_wine_tests does).
function(yelk_wine_fixture name)
    set(dir ${YELK_WINE_ROOT}/${name})
    if(YELK_ARCH STREQUAL x86_64)
        set(template template)
        set(arch win64)
    elseif("${ARGV1}" STREQUAL "win64")
        set(template template64)
        set(arch win64)
    else()
        set(template template)
        set(arch win32)
    endif()
    add_test(NAME ${name}.wine_setup
        COMMAND ${CMAKE_COMMAND} -E env YELK_XVFB=1 YELK_FOLDER_WINDOWS=0 YELK_WINE_LOADER=${YELK_WINE_LOADER}
                ${YELK_PREFIX_SH} setup ${dir} ${YELK_WINE_ROOT}/${template} ${arch})
    set_tests_properties(${name}.wine_setup PROPERTIES
        FIXTURES_SETUP wine_${name} FIXTURES_REQUIRED wine_${template} TIMEOUT ${YELK_TIMEOUT_SETUP}
        SKIP_RETURN_CODE 77)
    add_test(NAME ${name}.wine_cleanup COMMAND ${YELK_PREFIX_CMD} cleanup ${dir})
    set_tests_properties(${name}.wine_cleanup PROPERTIES FIXTURES_CLEANUP wine_${name} TIMEOUT 60)
endfunction()

# yelk_wine_tests(name tests...): the given tests run one after another in the
# prefix of fixture wine_<name>.
function(yelk_wine_tests name)
    set_tests_properties(${ARGN} PROPERTIES
        FIXTURES_REQUIRED wine_${name}
        RESOURCE_LOCK wine_${name}
        ENVIRONMENT YELK_WINE_DIR=${YELK_WINE_ROOT}/${name}
        TIMEOUT ${YELK_TIMEOUT_CASE})
endfunction()

# Where the signing test (tests/release) leaves its signed installer and CA for
# the end-to-end group that installs it.
set(YELK_SIGNED_TEST_DIR ${CMAKE_BINARY_DIR}/tests/release/signed)

# Windows paths of files in the build and source trees, for test programs:
# Wine's drive z: is the Linux root, and forward slashes are fine for fopen.
function(yelk_wine_path out path)
    set(${out} "z:${path}" PARENT_SCOPE)
endfunction()

# The compiled-in expected CRC: a tagged record the tools find in the executable
# without symbols (see tools/CMakeLists.txt), over the packer's header.
if(NOT YELK_CRC_RECORD_SOURCE)
    set(YELK_CRC_RECORD_SOURCE ${CMAKE_SOURCE_DIR}/payload/crcrecord.cpp)
endif()

# ---- The installer's link ----

# The installer's own code throws nothing and needs no type information: no
# unwind tables, no exception or RTTI support (test programs keep theirs).
# Data keeps the alignment its type needs, not the 32 bytes GCC gives larger
# arrays for speed (the member record would take 192 bytes for 169).
# Optimised for size beyond -Os (-Oz), but for the decoder's inner loops, the
# CRC and the marker scan (app/CMakeLists.txt), which every byte of the
# payload passes through.
set(YELK_LEAN_OPTIONS -Oz -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -malign-data=abi)

# The installer without its payload may take at most this many bytes
# (cmake/check-stub-size.cmake says how it is counted, whatever the payload);
# a link that comes out bigger fails (docs/performance.md). The limit is the
# shipped i686 file's: the x86_64 tree, a test vehicle, has longer code and is
# not held to it (0: no limit).
if(YELK_ARCH STREQUAL x86_64)
    set(YELK_STUB_LIMIT 0)
else()
    set(YELK_STUB_LIMIT 40960)
endif()

# yelk_installer(target resources crc payload): links an installer, setup32.exe
# or a variant with another payload, from the front end's sources, the
# resource object library `resources` (which holds the file `payload`) and the
# CRC record object library `crc`. After every link the packer verifies it and
# its size without the payload is checked against YELK_STUB_LIMIT. One
# definition for every installer, so that they are all linked the same way.
function(yelk_installer target resources crc payload)
    add_executable(${target} WIN32
        ${CMAKE_SOURCE_DIR}/app/entry.cpp
        ${CMAKE_SOURCE_DIR}/app/main.cpp
        ${CMAKE_SOURCE_DIR}/app/printf_win32.cpp)
    target_compile_options(${target} PRIVATE ${YELK_LEAN_OPTIONS})
    target_compile_options(${crc} PRIVATE ${YELK_LEAN_OPTIONS})
    set_target_properties(${target} PROPERTIES INTERPROCEDURAL_OPTIMIZATION ON)
    target_link_libraries(${target} PRIVATE ${resources} ${crc} yelkwin)
    # ld 2.40 crashes (signal 11) on the x86_64 link with link-time
    # optimisation unless msvcrt, which the optimised code calls into, is
    # among the installer's own libraries rather than only in the compiler's
    # list at the end. The i686 link stays as it is.
    if(YELK_ARCH STREQUAL x86_64)
        target_link_libraries(${target} PRIVATE msvcrt)
    endif()
    # No C runtime start-up: the process starts in SetupEntry (app/entry.cpp),
    # with the sections laid out by cmake/installer.ld. Data is never imported
    # from a DLL by plain reference (which would need the runtime's fix-ups).
    # Stripped, with a map file to watch the size. The CRC record is a root
    # of the section collection: the tools look for it even where no code
    # reads it.
    #
    # ld 2.40's base relocation writer (generate_reloc in pe-dll.c) reads
    # every input section's output section without checking that it has one;
    # an archive member loaded only after the link-time optimisation can lack
    # it, and ld dies with signal 11 (later binutils skip such sections). The
    # optimised code calls functions that GCC keeps out of its LTO symbol
    # tables, so ld learns of them only then: the stack probe, and the C
    # library functions GCC knows as built-ins (their msvcrt import thunks).
    # Naming them here loads their members up front. A function on this list
    # is imported even when nothing calls it; a built-in newly called that is
    # not on it crashes the link (ld -t -t after the LTO object shows which
    # members load late).
    # (The stack probe's name is ___chkstk_ms on both targets.)
    set(late_members fwrite memchr memmove strcat strcpy strlen strrchr strstr)
    list(TRANSFORM late_members PREPEND "-Wl,-u,${YELK_C_PREFIX}")
    list(APPEND late_members -Wl,-u,___chkstk_ms)
    set(script ${CMAKE_SOURCE_DIR}/cmake/installer.ld)
    target_link_options(${target} PRIVATE
        -nostartfiles -Wl,-e,${YELK_C_PREFIX}SetupEntry -T ${script}
        -Wl,--disable-auto-import ${late_members}
        -s -Wl,-Map=${CMAKE_CURRENT_BINARY_DIR}/${target}.map
        -Wl,--require-defined=${YELK_C_PREFIX}expectedCrcRecord)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
    # GNU ld 2.40 links the load configuration record (app/entry.cpp) but
    # leaves the directory entry empty: it is set after the link, with the
    # PE checksum, before anything checks or signs the file.
    target_link_options(${target} PRIVATE -Wl,--require-defined=${YELK_C_PREFIX}_load_config_used)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/set-load-config.py $<TARGET_FILE:${target}>
                ${CMAKE_CURRENT_BINARY_DIR}/${target}.map
        VERBATIM)
    # An installer that would report itself corrupt, or that has outgrown its
    # size, never stays in the tree.
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -DYELKPACK=${YELKPACK} -DEXE=$<TARGET_FILE:${target}>
                -P ${CMAKE_SOURCE_DIR}/cmake/verify-installer.cmake
        VERBATIM)
    if(YELK_STUB_LIMIT)
        add_custom_command(TARGET ${target} POST_BUILD
            COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:${target}> -DPAYLOAD=${payload}
                    -DLIMIT=${YELK_STUB_LIMIT} -P ${CMAKE_SOURCE_DIR}/cmake/check-stub-size.cmake
            VERBATIM)
    endif()
endfunction()
