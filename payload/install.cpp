/* The start of an installation run (install.h). */
#include "payload/install.h"

#include "payload/container.h"
#include "payload/extract.h"

StartResult StartInstallRun()
{
    if (PrepareInstallRun() != kDestDirReady)
        return kStartFolderFailed;
    if (!OpenPayload())
        return kStartPayloadFailed;
    return kStartReady;
}
