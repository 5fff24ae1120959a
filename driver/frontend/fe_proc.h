// Preparation of a procedure call statement ({call p(...)},
// {? = call p(...)}): the call's name and arguments are read from the tree
// and the procedure is prepared over the connection's table-access session
// (driver/engine/exec/rcexeproc.h), which opens it and checks the arguments.
// The data module of this system answers every procedure call with -1001,
// so preparation fails there with 11002 "API not supported". Running a call
// through the ODBC functions is not wired: a call that prepares is refused
// with 5160 after the procedure is closed again.
#pragma once

#include "driver/frontend/fe_prepared.h"

struct rcPrcCallText;

// The call as written: name, return-value parameter and arguments
// (parameters numbered from 0 in the order of the text). false when the tree
// is no procedure call.
bool rcFeReadCall(const rcParseNode *root, rcPrcCallText *out);

// 0, or -1 with the message posted.
int rcFePrepareCall(rcPrepared *prep, rcErrorQueue *errors);
