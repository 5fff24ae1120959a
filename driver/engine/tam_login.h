// The connection's password for the logins of databases a session opens
// after its connect (another qualifier, a qualified table name). The session
// keeps only the pointer, to the connection's password attribute, which
// outlives it; each open hands the text to the data module, which forgets it
// once that login is over.
#pragma once

struct TamSession;

// Null forgets it: later opens then log in without a password.
void TamSetLoginPassword(TamSession *session, const char *password);
