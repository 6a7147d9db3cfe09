/* The one InstallSession instance; static storage makes it zero at start. */
#include "common/session.h"

InstallSession session;
