// Fixture: the server using the client codec.
#include "netclient/wire.h"
