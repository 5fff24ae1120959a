// Fixture: the ODBC layer includes core (allowed).
#include "driver/core/value.h"
#include <sql.h>
