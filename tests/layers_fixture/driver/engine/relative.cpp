// Fixture: the engine reaching up to the frontend by a relative path.
#include "../frontend/parse.h"
#include "driver/engine/local.h"
