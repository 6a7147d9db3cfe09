# Signs a verified setup32.exe in place with Authenticode (SHA-256) through
# osslsigncode, then checks that the signed file still carries its payload as
# `yelkpack verify` sees it. On any failure the executable is removed, as an
# unverified one is, so that no half-made release stays in the tree.
# Usage: cmake -DOSSLSIGNCODE=... -DYELKPACK=... -DEXE=...
#              (-DCERT=... -DKEY=... | -DPKCS12=...) [-DPASSWORD_FILE=...]
#              [-DTIMESTAMP_URL=...] -P sign-installer.cmake
set(args sign -h sha256 -n "Yelk v5.9 32bit Installation")
if(PKCS12)
    list(APPEND args -pkcs12 ${PKCS12})
else()
    list(APPEND args -certs ${CERT} -key ${KEY})
endif()
if(PASSWORD_FILE)
    list(APPEND args -readpass ${PASSWORD_FILE})
endif()
if(TIMESTAMP_URL)
    list(APPEND args -ts ${TIMESTAMP_URL})
endif()

set(signed ${EXE}.signed)
file(REMOVE ${signed})
execute_process(COMMAND ${OSSLSIGNCODE} ${args} -in ${EXE} -out ${signed}
    RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    file(REMOVE ${EXE} ${signed})
    message(FATAL_ERROR "osslsigncode could not sign ${EXE} (exit code ${rc}); removed")
endif()
execute_process(COMMAND ${YELKPACK} verify ${signed} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    file(REMOVE ${EXE} ${signed})
    message(FATAL_ERROR "the signed ${EXE} failed verification (yelkpack exit code ${rc}); removed")
endif()
file(RENAME ${signed} ${EXE})
