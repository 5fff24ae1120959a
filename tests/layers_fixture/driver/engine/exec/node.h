// Fixture: the executor includes the planner and the engine's own folder (allowed).
#include "driver/engine/plan/tree.h"
#include "driver/engine/local.h"
