// Fixture of tests/check_layers.sh: core reaching up to the ODBC layer.
#include "driver/odbc/handle.h"
#include "driver/core/value.h"
