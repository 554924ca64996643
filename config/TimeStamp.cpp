// STUB
#include "config/TimeStamp.h"
