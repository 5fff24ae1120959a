#include "odbc/a.h"
