/* CreateDestDir: makes the one folder level the user chose. */
#include "payload/destdir.h"

#include "common/messages.h"
#include "common/path.h"
#include "common/platform.h"
#include "common/session.h"

DestDirResult CreateDestDir()
{
    /* A folder that is no full path, or leaves the paths composed from it no
       room, is refused before anything is written. */
    if (!IsUsableDestDir(session.destDir)) {
        ShowError(kErrorCreateFolder);
        return kDestDirFailed;
    }
    /* A file of that name cannot take the members: refused as a folder that
       cannot be made. */
    if (FolderExists(session.destDir))
        return kDestDirReady;
    if (PathExists(session.destDir)) {
        ShowError(kErrorCreateFolder);
        return kDestDirFailed;
    }
    if (!MakeFolder(session.destDir)) {
        ShowError(kErrorCreateFolder);
        return kDestDirFailed;
    }
    session.createdDestDir = 1;
    return kDestDirReady;
}
