/* Creating the destination folder: the one folder level the user chose
   (used by the wizard and the headless installer). */
#ifndef YELK_PAYLOAD_DESTDIR_H
#define YELK_PAYLOAD_DESTDIR_H

enum DestDirResult {
    kDestDirReady = 1,    /* destDir exists, or was created (createdDestDir set) */
    kDestDirFailed = 2    /* message [1] shown */
};

DestDirResult CreateDestDir();

#endif
