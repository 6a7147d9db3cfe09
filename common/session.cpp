/* The one InstallSession instance; static storage makes it zero at start. */
#include "session.h"

InstallSession session;
