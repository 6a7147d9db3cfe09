/* The start of an installation run (install.h). */
#include "install.h"

#include "container.h"
#include "extract.h"

StartResult StartInstallRun()
{
    if (PrepareInstallRun() != kDestDirReady)
        return kStartFolderFailed;
    if (!OpenPayload())
        return kStartPayloadFailed;
    return kStartReady;
}
