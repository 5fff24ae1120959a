// Uses b by a relative include: c depends on b, the cycle.
#include "c.h"
#include "b.h"
