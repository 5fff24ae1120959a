// The statement's table list: one entry per table reference of the tree,
// opened on the data source with its column descriptions.
//
// rcTblOpenAll opens every TableName of the tree (none for CREATE TABLE) in
// text order, attaches each entry to its TableName node (`sem`) and keeps it
// in the prepared state; rcTblCloseAll closes them (preparation's reset
// does). A failure closes whatever was opened, so a failed prepare leaves no
// table open.
#pragma once

#include "driver/frontend/fe_prepared.h"

// Longest alias and table name accepted.
inline constexpr size_t kRcTblAliasMax = 128;
inline constexpr size_t kRcTblNameMax = 255;

int rcTblOpenAll(rcPrepared *prep, rcErrorQueue *errors);
void rcTblCloseAll(rcPrepared *prep);
// The entry named by an alias (or, for an entry without alias, its name).
rcTblEntry *rcTblNameOf(rcPrepared *prep, const char *name);
