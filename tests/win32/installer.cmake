# Windows tests of the installer's own front end: the Program Manager group,
# the finishing actions, the start-up decisions and the dialog procedure.

yelk_win32_test(test_progman test_progman.cpp)

# A stand-in client that notes its start, beside test_finish.exe.
add_executable(standin_client WIN32 standin_client.cpp)
yelk_win32_test(test_finish test_finish.cpp)
add_dependencies(test_finish standin_client)

# Two stand-in 3-D control libraries: one planted beside test_startup.exe,
# one without Ctl3dAutoSubclass in a folder of its own.
foreach(variant full partial)
    add_library(ctl3d_${variant} SHARED fake_ctl3d.cpp)
    target_link_options(ctl3d_${variant} PRIVATE -Wl,--kill-at)
    set_target_properties(ctl3d_${variant} PROPERTIES OUTPUT_NAME Ctl3d32 PREFIX "")
endforeach()
set_target_properties(ctl3d_full PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
set_target_properties(ctl3d_partial PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/partial_ctl3d)
target_compile_definitions(ctl3d_partial PRIVATE YELK_CTL3D_PARTIAL)
yelk_win32_test(test_startup test_startup.cpp)
add_dependencies(test_startup ctl3d_full ctl3d_partial)

# Planted DLLs: a program of its own in a folder of its own, with two DLLs
# beside it that leave a mark file when loaded, one under a made-up name and
# one named like a system DLL. The program runs the installer's start-up
# routine (app/startup.cpp itself) before it loads one by bare name.
set(plant_dir ${CMAKE_CURRENT_BINARY_DIR}/planted)
add_executable(plant_probe plant_probe.cpp ${CMAKE_SOURCE_DIR}/app/startup.cpp)
target_include_directories(plant_probe PRIVATE ${CMAKE_SOURCE_DIR})
set_target_properties(plant_probe PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${plant_dir})
foreach(name yelkplant msimg32)
    add_library(planted_${name} SHARED planted_dll.c)
    set_target_properties(planted_${name} PROPERTIES OUTPUT_NAME ${name} PREFIX ""
        RUNTIME_OUTPUT_DIRECTORY ${plant_dir})
    add_dependencies(test_startup planted_${name})
endforeach()
add_dependencies(test_startup plant_probe)
yelk_wine_path(plant_probe_exe ${plant_dir}/plant_probe.exe)
target_compile_definitions(test_startup PRIVATE "YELK_PLANT_PROBE=\"${plant_probe_exe}\"")
# And the installer itself beside them: what it loads late by bare name must
# come from the system folder, its own start-up having narrowed the search.
add_custom_command(OUTPUT ${plant_dir}/setup32.exe
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:setup32> ${plant_dir}/setup32.exe
    DEPENDS setup32)
add_custom_target(planted_setup DEPENDS ${plant_dir}/setup32.exe)
add_dependencies(test_startup planted_setup)
yelk_wine_path(planted_setup_exe ${plant_dir}/setup32.exe)
target_compile_definitions(test_startup PRIVATE "YELK_PLANTED_SETUP=\"${planted_setup_exe}\"")

# The dialog procedure on the real template, with the packed payload as the
# installer stream.
yelk_win32_test(test_dialog DIALOGS test_dialog.cpp)
yelk_wine_path(payload_file ${YELK_PAYLOAD_FILE})
target_compile_definitions(test_dialog PRIVATE "YELK_PAYLOAD_FILE=\"${payload_file}\"")
add_dependencies(test_dialog yelk_payload)
