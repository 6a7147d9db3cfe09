/*
 * The start of an installation run, as the Install button, the headless
 * installer and the fuzzer make it: reset, the first status and bar, the
 * destination folder, the installer's own file checked and opened.
 */
#ifndef YELK_PAYLOAD_INSTALL_H
#define YELK_PAYLOAD_INSTALL_H

#include "payload/extract.h"

enum StartResult {
    kStartReady,          /* the installer file is open: pump */
    kStartFolderFailed,   /* [1] shown: back to the options */
    kStartPayloadFailed   /* [2], [9] or [10] shown: the run cannot go on */
};

/* PrepareInstallRun, then the installer's own file checked against the
   built-in CRC and opened (OpenPayload). */
StartResult StartInstallRun();

#endif
