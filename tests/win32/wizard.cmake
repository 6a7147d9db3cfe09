# Windows tests of the wizard: templates and pages, the painted progress bars,
# the destination folder and its chooser. All on the real dialog templates.

# Licence resources for InitWizardTexts' edge cases, each in a resource-only
# DLL that the test loads as a data file: longer than 2900 bytes with the end
# mark further on, the end mark at byte 100, and no licence at all.
set(licence_dir ${CMAKE_CURRENT_BINARY_DIR}/licences)
string(REPEAT "0123456789abcdefghij\r\n" 140 long_text)          # 3080 bytes
file(WRITE ${licence_dir}/long.txt "${long_text}***\r\n")
string(REPEAT "s" 100 stars_text)
file(WRITE ${licence_dir}/stars.txt "${stars_text}***\r\nafter the mark\r\n***\r\n")
file(WRITE ${licence_dir}/long.rc "3 RCDATA \"${licence_dir}/long.txt\"\n")
file(WRITE ${licence_dir}/stars.rc "3 RCDATA \"${licence_dir}/stars.txt\"\n")
file(WRITE ${licence_dir}/none.rc "5 RCDATA { \"not a licence\" }\n")
foreach(variant long stars none)
    add_library(licence_${variant} MODULE resource_dll.c ${licence_dir}/${variant}.rc)
    set_target_properties(licence_${variant} PROPERTIES PREFIX "")
    target_link_options(licence_${variant} PRIVATE -nostdlib -Wl,-e,${YELK_C_PREFIX}ResourceDllEntry${YELK_STDCALL_SUFFIX_12})
endforeach()

# wizard_prefix_step(name command...): one more setup step for the prefix of
# test program <name>, after the common one.
function(wizard_prefix_step name)
    add_test(NAME ${name}.wine_prepare COMMAND ${ARGN})
    set_tests_properties(${name}.wine_prepare PROPERTIES
        FIXTURES_SETUP wine_${name} FIXTURES_REQUIRED wine_template
        DEPENDS ${name}.wine_setup
        ENVIRONMENT YELK_WINE_DIR=${YELK_WINE_ROOT}/${name} TIMEOUT 120)
endfunction()

yelk_win32_test(test_wizard_pages DIALOGS test_wizard_pages.cpp)
add_dependencies(test_wizard_pages licence_long licence_stars licence_none)
yelk_wine_path(licence_file ${CMAKE_SOURCE_DIR}/res/licence.txt)
yelk_wine_path(long_txt ${licence_dir}/long.txt)
target_compile_definitions(test_wizard_pages PRIVATE
    "YELK_LICENCE_FILE=\"${licence_file}\""
    "YELK_LICENCE_LONG_TXT=\"${long_txt}\""
    "YELK_LICENCE_LONG_DLL=\"z:$<TARGET_FILE:licence_long>\""
    "YELK_LICENCE_STARS_DLL=\"z:$<TARGET_FILE:licence_stars>\""
    "YELK_LICENCE_NONE_DLL=\"z:$<TARGET_FILE:licence_none>\"")

yelk_win32_test(test_wizard_paint DIALOGS test_wizard_paint.cpp)

# The folder test also starts a probe from a drive mapped as a CD-ROM (r:),
# which its own setup step adds to the test's prefix.
add_executable(default_folder_probe default_folder_probe.cpp)
target_link_libraries(default_folder_probe PRIVATE yelkwin)
target_include_directories(default_folder_probe PRIVATE ${CMAKE_SOURCE_DIR})
yelk_win32_test(test_wizard_folder DIALOGS test_wizard_folder.cpp)
add_dependencies(test_wizard_folder default_folder_probe)
target_compile_definitions(test_wizard_folder PRIVATE
    "YELK_DEFAULT_FOLDER_PROBE=\"z:$<TARGET_FILE:default_folder_probe>\""
    "YELK_CDROM_DRIVE=\"r:\"")
wizard_prefix_step(test_wizard_folder
    ${CMAKE_CURRENT_SOURCE_DIR}/map-cdrom.sh ${YELK_WINE_ROOT}/test_wizard_folder r:)

# Pictures of the pages for the documentation (tests/win32/render_pages.sh).
add_executable(wizard_pictures wizard_pictures.cpp)
target_link_libraries(wizard_pictures PRIVATE yelkwin)
target_include_directories(wizard_pictures PRIVATE ${CMAKE_SOURCE_DIR})
yelk_dialog_resources(wizard_pictures)
