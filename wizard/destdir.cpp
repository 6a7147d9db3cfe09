/* CreateDestDir: makes the one folder level the user chose. */
#include "destdir.h"

#include "../common/messages.h"
#include "../common/path.h"
#include "../common/platform.h"
#include "../common/session.h"

int CreateDestDir()
{
    /* A folder that is no full path, or leaves the paths composed from it no
       room, is refused before anything is written. */
    if (!IsUsableDestDir(session.destDir)) {
        ShowErrorBox(1, ErrorText(1));
        return 2;
    }
    if (PathExists(session.destDir))
        return 1;
    if (!MakeFolder(session.destDir)) {
        ShowErrorBox(1, ErrorText(1));
        return 2;
    }
    session.createdDestDir = 1;
    return 1;
}
