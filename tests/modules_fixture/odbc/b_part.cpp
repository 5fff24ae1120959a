// Implements b.h (its first include) and uses c: b depends on c.
#include "odbc/b.h"
#include "odbc/c.h"
