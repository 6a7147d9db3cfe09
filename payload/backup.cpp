/* backup: written by its owner. */
#include "backup.h"
