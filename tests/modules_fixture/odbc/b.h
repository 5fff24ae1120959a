// Uses a.
#pragma once
#include "odbc/a.h"
