// Depends on nothing.
#pragma once
