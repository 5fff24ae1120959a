#include "driver/engine/tree/rcprssym.h"

namespace {

const char *const kTokenNames[] = {
    "ADD",          "ALL",       "ALTER",    "AND",        "ANY",        "APPROX_NUM_LIT",
    "AS",           "ASC",       "AVG",      "BETWEEN",    "BY",         "CASCADE",
    "CHAR_STR_LIT", "CHECK",     "COUNT",    "CREATE",     "DECNUM_LIT", "DEFAULT",
    "DELETE",       "DESC",      "DISTINCT", "DROP",       "=",          "EXISTS",
    "FILENAMEPART", "FNDOTID",   "FOREIGN",  "FROM",       ">=",         "GRANT",
    "GROUP",        ">",         "HAVING",   "IDENTIFIER", "IF",         "IN",
    "INDEX",        "INSERT",    "INTO",     "IS",         "JOIN",       "KEY",
    "<=",           "LEFT",      "LIKE",     "<",          "MAX",        "MIN",
    "<>",           "NOT",       "NOT LIKE", "NULL",       "ON",         "OR",
    "ORDER",        "OUTER",     "PATH",     "PRIMARY",    "PUBLIC",     "REFERENCES",
    "RESTRICT",     "REVOKE",    "SELECT",   "SET",        "SUM",        "SVBEGIN",
    "SVEND",        "TABLE",     "TO",       "UNION",      "UNIQUE",     "UPDATE",
    "USER",         "USINT_LIT", "VALUES",   "VIEW",       "WHERE",
};

const char *const kNonterminalNames[] = {
    "AllDistinct_Opt",
    "AllFn",
    "ALLOrANY",
    "AllOrGPriv",
    "AllOrRPriv",
    "AlterTableStmt",
    "AS_Opt",
    "ASCDESC_Opt",
    "ATColDef",
    "ATColDefList",
    "ATColDefs",
    "BetweenPredicate",
    "BooleanPrimary",
    "CasOrRes_Opt",
    "ColAlias_Opt",
    "ColAssign",
    "ColAssignList",
    "ColConDef",
    "ColConDefList",
    "ColConDefList_Opt",
    "ColDef",
    "ColElementList",
    "ColId",
    "ColIdList",
    "ColIdList_Opt",
    "ColName",
    "ColumnElement",
    "CompareOp",
    "ComparePredicate",
    "CorName",
    "CorName_Opt",
    "CreateIndexStmt",
    "CreateTableStmt",
    "CreateViewStmt",
    "CTCheck",
    "CTForeignKey",
    "CTPrimaryKey",
    "CTReferences",
    "CTUnique",
    "DataType",
    "DateTimeTSValueVT",
    "Default_Opt",
    "DefaultValue",
    "DeleteStmt",
    "DistAllFnOp",
    "DistinctFn",
    "DistinctFnOpParen",
    "DropIndexStmt",
    "DropTableStmt",
    "DropViewStmt",
    "DynamicParm",
    "Empty",
    "ExactNumLit",
    "ExecStmt",
    "ExistsPredicate",
    "Expression",
    "ExpressionList",
    "ExprOrNull",
    "ExprOrSubQuery",
    "FNPart",
    "FunctionVT",
    "GPriv",
    "GPrivList",
    "GrantStmt",
    "GroupBy_Opt",
    "Having_Opt",
    "IFCondExpr",
    "IndexColList",
    "IndexName",
    "InPredicate",
    "InsertStmt",
    "InsValList",
    "InsValue",
    "LeftOuterJoin",
    "Length",
    "LikePredicate",
    "Literal",
    "NOT_Opt",
    "NotOrNotLike",
    "NullPredicate",
    "NumericLiteral",
    "OrderBy_Opt",
    "OuterJoinVS",
    "OuterJoinVT",
    "Path_Opt",
    "PatternValue",
    "Precision",
    "Predicate",
    "Primary",
    "PublicOrUsers",
    "QuantifiedPredicate",
    "QuerySpec",
    "QuerySpecOrValList",
    "RevokeStmt",
    "RPriv",
    "RPrivList",
    "ScalarFn",
    "Scale",
    "SearchCond",
    "SelectList",
    "SelectStmt",
    "SelSubList",
    "SelSubListItem",
    "SetFunctionRef",
    "SFParmList",
    "SFParmsOrVoid",
    "SortSpec",
    "SortSpecList",
    "StdVendorBegin",
    "StdVendorEnd",
    "SubQuery",
    "TableConDef",
    "TableName",
    "TableRef",
    "TableRefList",
    "TabNameOrCorName",
    "Union_Opt",
    "Unique_Opt",
    "UpdateStmt",
    "UserName",
    "UserNameList",
    "Value",
    "ValueList",
    "ValueListORSubQuery",
    "ValueVS",
    "ValueVT",
    "ViewedTableName",
    "WhereSearchCond_Opt",
    "VendorStringPredicate",
    "ProcedureName",
    "Procedure",
    "ProcedureReturnValue",
    "SubSelectStmt",
    "FullSelectStmt",
};

// One printable string per single-character token.
struct CharNames {
    char text[256][2];
    constexpr CharNames() : text{}
    {
        for (int i = 0; i < 256; ++i) {
            text[i][0] = static_cast<char>(i);
            text[i][1] = '\0';
        }
    }
};
constexpr CharNames kCharNames;

} // namespace

static_assert(sizeof(kTokenNames) / sizeof(kTokenNames[0]) == RC_T_WHERE - RC_T_ADD + 1);
static_assert(sizeof(kNonterminalNames) / sizeof(kNonterminalNames[0]) ==
              RC_N_FullSelectStmt - RC_N_AllDistinct_Opt + 1);

const char *rcPrsSymbolName(uint16_t id)
{
    if (id < 256)
        return kCharNames.text[id];
    if (id >= RC_T_ADD && id <= RC_T_WHERE)
        return kTokenNames[id - RC_T_ADD];
    if (id >= RC_N_AllDistinct_Opt && id <= RC_N_FullSelectStmt)
        return kNonterminalNames[id - RC_N_AllDistinct_Opt];
    return nullptr;
}

const char *rcPrsSymbolText(uint16_t id)
{
    const char *name = rcPrsSymbolName(id);
    return name != nullptr ? name : "";
}
