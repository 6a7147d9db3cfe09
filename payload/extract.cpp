/* extract: written by its owner. */
#include "extract.h"
