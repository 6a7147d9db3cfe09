/* Creating the destination folder (portable: used by the wizard and the headless installer). */
#ifndef YELK_WIZARD_DESTDIR_H
#define YELK_WIZARD_DESTDIR_H

/* 1 when session.destDir exists or was created (then createdDestDir is set);
   2 after error [1]. */
int CreateDestDir();

#endif
