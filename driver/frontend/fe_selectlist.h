// Select list and result columns of a query.
//
// Order during preparation: rcSelExpandStars (after the tables are open,
// before typing: "*" and "t.*" become one item per column, each item's
// ColName pointing at its column), rcSelCheckParams (no parameter in a
// select list), the semantic checks type every item, then rcSelBuildColumns
// makes the result-column list: name (alias, column name or EXPR_n), origin
// table, SQL type and its attributes from the data source's type catalog.
#pragma once

#include "driver/frontend/fe_prepared.h"

int rcSelExpandStars(rcPrepared *prep, rcErrorQueue *errors);
int rcSelCheckParams(rcParseNode *root, rcErrorQueue *errors);
int rcSelBuildColumns(rcPrepared *prep, rcErrorQueue *errors);
// A UNION: every branch gives as many columns as the first, of the same SQL
// types (11483), none LONGVARBINARY; character result columns take the
// widest branch's length.
int rcSelCheckUnion(rcPrepared *prep, rcErrorQueue *errors);
