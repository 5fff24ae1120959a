// The parse-tree node record and the grammar symbol ids, as the expression
// and filter compilers and the unsupported-SQL check read them.
#pragma once

#include "driver/frontend/rcprs.h"
#include "driver/frontend/rcprssym.h"
