/* lzhuf: written by its owner. */
#include "lzhuf.h"
