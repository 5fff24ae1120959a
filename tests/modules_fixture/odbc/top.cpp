// Implements no header of the folder: a module of its own.
#include <sql.h>
#include "odbc/b.h"
#include "odbc/c.h"
