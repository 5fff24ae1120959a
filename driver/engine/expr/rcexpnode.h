// The parse-tree node record and the grammar symbol ids, as the expression
// and filter compilers and the unsupported-SQL check read them.
#pragma once

#include "driver/engine/tree/rcprsnode.h"
#include "driver/engine/tree/rcprssym.h"
