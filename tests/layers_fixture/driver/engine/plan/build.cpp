// Fixture: the planner reaching up to the executor.
#include "driver/engine/exec/node.h"
#include "driver/engine/plan/tree.h"
