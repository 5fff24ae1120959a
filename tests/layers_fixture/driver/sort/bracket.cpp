// Fixture: the sort library reaching up to the ODBC layer in angle brackets;
// a lower layer and a system header in angle brackets are allowed.
#include <driver/odbc/handle.h>
#include <driver/core/value.h>
#include <vector>
