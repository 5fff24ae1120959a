// Index validation (the ValidateIndex engine option): before a query is
// opened, every table its plan reads through an index is counted twice on
// the same connection, once in table order and once in the index's order;
// different counts post 5135 with the "Bad index" text on the statement.
//
// Interface: rcStmtValidateIndexes(s) after the query is planned
// (rcStmtMakePlanner) and before it is opened, outside the engine lock (the
// counts are queries of their own). The nested statements run through the
// driver's internal workers, never its exported functions, and do not
// validate again. The outcome never stops the query.
#pragma once

struct rcStmtHandle;

void rcStmtValidateIndexes(rcStmtHandle *s);
