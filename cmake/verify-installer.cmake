# Runs `yelkpack verify` on a freshly linked installer and deletes it when the
# check fails, so that a later build cannot mistake it for a good one.
# Usage: cmake -DYELKPACK=... -DEXE=... -P verify-installer.cmake
execute_process(COMMAND ${YELKPACK} verify ${EXE} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    file(REMOVE ${EXE})
    message(FATAL_ERROR "${EXE} failed verification (yelkpack exit code ${rc}); removed")
endif()
