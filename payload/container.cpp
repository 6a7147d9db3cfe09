/* container: written by its owner. */
#include "container.h"
