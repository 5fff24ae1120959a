/* SQL grammar: LALR(1), one statement per parse. Each action builds its
 * node through a helper; the few checks (escape labels, limits, literal
 * checks) record their message and abort. */

%define api.pure full
%define api.prefix {rcprs}
%define api.token.prefix {RCTOK_}
%define api.value.type {rcParseNode *}
%define parse.error simple
%parse-param {rcPrsContext *ctx}
%lex-param {rcPrsContext *ctx}

%code requires {
#include "driver/frontend/rcprsctx.h"
}

%code {
#include <cstring>

#include "driver/frontend/rcprsbuild.h"

#define YYMAXDEPTH 1000
#define YYINITDEPTH 200

static int rcprslex(rcParseNode **value, rcPrsContext *ctx)
{
    int token = rcPrsScan(ctx, value);
    if (token == RC_SCAN_FAIL)
        return 256; /* the error token: the parse fails at once */
    return token;
}

static void rcprserror(rcPrsContext *ctx, const char *)
{
    if (!ctx->failed)
        rcPrsFail(ctx, RC_PRS_MSG_SYNTAX, nullptr, RC_PRS_SYNTAX);
}

static_assert(int(RCTOK_ADD) == int(RC_T_ADD) && int(RCTOK_IDENTIFIER) == int(RC_T_IDENTIFIER) &&
              int(RCTOK_NOTLIKE) == int(RC_T_NOTLIKE) && int(RCTOK_WHERE) == int(RC_T_WHERE) &&
              int(RCTOK_ESC_FN) == int(RC_TOK_ESC_FN) && int(RCTOK_ESC_PRED) == int(RC_TOK_ESC_PRED),
              "grammar token codes follow the symbol ids");

#define CHK do { if (ctx->failed) YYABORT; } while (0)
#define N(id, chain) rcPrsBuildNode(ctx, RC_N_##id, (chain))
}

%token ADD 257 ALL 258 ALTER 259 AND 260 ANY 261 APPROX_NUM_LIT 262 AS 263 ASC 264
%token AVG 265 BETWEEN 266 BY 267 CASCADE 268 CHAR_STR_LIT 269 CHECK 270 COUNT 271
%token CREATE 272 DECNUM_LIT 273 DEFAULT 274 DELETE 275 DESC 276 DISTINCT 277 DROP 278
%token EQ 279 EXISTS 280 FILENAMEPART 281 FNDOTID 282 FOREIGN 283 FROM 284 GE 285
%token GRANT 286 GROUP 287 GT 288 HAVING 289 IDENTIFIER 290 IF 291 IN 292 INDEX 293
%token INSERT 294 INTO 295 IS 296 JOIN 297 KEY 298 LE 299 LEFT 300 LIKE 301 LT 302
%token MAX 303 MIN 304 NE 305 NOT 306 NOTLIKE 307 NULL 308 ON 309 OR 310 ORDER 311
%token OUTER 312 PATH 313 PRIMARY 314 PUBLIC 315 REFERENCES 316 RESTRICT 317
%token REVOKE 318 SELECT 319 SET 320 SUM 321 SVBEGIN 322 SVEND 323 TABLE 324 TO 325
%token UNION 326 UNIQUE 327 UPDATE 328 USER 329 USINT_LIT 330 VALUES 331 VIEW 332
%token WHERE 333
%token ESC_FN 400 ESC_CALL 401 ESC_D 402 ESC_T 403 ESC_TS 404 ESC_OJ 405 ESC_PRED 406

%left OR
%left AND
%left '+' '-'
%left '*' '/'
%precedence UMINUS

%start start

%%

start
    : statement                 { ctx->root = $1; }
    ;

statement
    : query
    | insert_stmt
    | update_stmt
    | delete_stmt
    | create_table
    | create_index
    | create_view
    | drop_index
    | drop_table
    | drop_view
    | alter_table
    | grant_stmt
    | revoke_stmt
    | proc_stmt
    ;

/* Queries */

query
    : union_expr order_opt ptypes_opt   { $$ = rcPrsBuildQuery(ctx, $1, $2, $3); CHK; }
    ;

union_expr
    : union_term
    | union_expr UNION all_opt union_term
        { $$ = N(FullSelectStmt, rcPrsCat($1, N(Union_Opt, rcPrsCat($2, $3)), $4)); CHK; }
    ;

union_term
    : select_block              { $$ = N(SubSelectStmt, $1); CHK; }
    | '(' union_expr ')'        { $$ = $2; }
    ;

all_opt
    : %empty                    { $$ = nullptr; }
    | ALL
    ;

order_opt
    : %empty                    { $$ = nullptr; }
    | ORDER BY sort_list        { $$ = N(OrderBy_Opt, rcPrsCat($1, $2, N(SortSpecList, $3))); CHK; }
    ;

sort_list
    : sort_spec
    | sort_list ',' sort_spec   { $$ = rcPrsCat($1, $2, $3); }
    ;

sort_spec
    : expression asc_opt        { $$ = N(SortSpec, rcPrsCat($1, $2)); CHK; }
    ;

asc_opt
    : %empty                    { $$ = nullptr; }
    | ASC                       { $$ = N(ASCDESC_Opt, $1); CHK; }
    | DESC                      { $$ = N(ASCDESC_Opt, $1); CHK; }
    ;

ptypes_opt
    : %empty                    { $$ = nullptr; }
    | '[' ptype_list ']'        { $$ = N(ParamTypeList, $2); CHK; }
    ;

ptype_list
    : ptype
    | ptype_list ',' ptype      { $$ = rcPrsCat($1, $3); }
    ;

ptype
    : '?'                       { $$ = N(DynamicParm, $1); CHK; }
    | '?' data_type             { $$ = rcPrsCat(N(DynamicParm, $1), $2); CHK; }
    ;

select_block
    : SELECT alldist_opt select_list FROM table_ref_list where_opt group_opt having_opt
        { $$ = rcPrsCat($1, $2, $3, $4, N(TableRefList, $5), $6, $7, $8); CHK; }
    ;

query_spec
    : select_block              { $$ = N(QuerySpec, $1); CHK; }
    ;

subquery
    : '(' query_spec ')'        { $$ = rcPrsCat($1, N(SubQuery, $2), $3); CHK; }
    ;

alldist_opt
    : %empty                    { $$ = nullptr; }
    | ALL                       { $$ = N(AllDistinct_Opt, $1); CHK; }
    | DISTINCT                  { $$ = N(AllDistinct_Opt, $1); CHK; }
    ;

select_list
    : '*'                       { $$ = N(SelectList, $1); CHK; }
    | sel_items                 { $$ = N(SelectList, N(SelSubList, $1)); CHK; }
    ;

sel_items
    : sel_item
    | sel_items ',' sel_item    { $$ = rcPrsCat($1, $2, $3); }
    ;

sel_item
    : expression alias_opt
        { rcPrsCountSelectItem(ctx); $$ = N(SelSubListItem, rcPrsCat($1, $2)); CHK; }
    | IDENTIFIER '.' '*'
        { $$ = N(SelSubListItem, rcPrsCat(N(TabNameOrCorName, $1), $2, $3)); CHK; }
    ;

alias_opt
    : %empty                    { $$ = nullptr; }
    | IDENTIFIER                { $$ = N(ColAlias_Opt, $1); CHK; }
    | AS IDENTIFIER             { $$ = N(ColAlias_Opt, rcPrsCat(N(AS_Opt, $1), $2)); CHK; }
    ;

table_ref_list
    : table_ref_item
    | table_ref_list ',' table_ref_item { $$ = rcPrsCat($1, $2, $3); }
    ;

table_ref_item
    : table_ref
    | left_join
    | '(' left_join ')'         { $$ = $2; }
    | '{' ESC_OJ left_join '}'  { $$ = $3; }
    | vendor_begin ESC_OJ left_join vendor_end { $$ = $3; }
    ;

table_ref
    : table_name                { $$ = N(TableRef, $1); CHK; }
    | table_name IDENTIFIER     { $$ = N(TableRef, rcPrsCat($1, N(CorName_Opt, N(CorName, $2)))); CHK; }
    ;

left_join
    : join_left LEFT OUTER JOIN table_ref ON search_cond
        { $$ = N(LeftOuterJoin, rcPrsCat($1, $2, $3, $4, $5, $6, N(SearchCond, $7))); CHK; }
    ;

join_left
    : table_ref
    | left_join
    | '(' left_join ')'         { $$ = $2; }
    ;

table_name
    : qualified_name            { $$ = N(TableName, $1); CHK; }
    ;

viewed_name
    : qualified_name            { $$ = N(ViewedTableName, $1); CHK; }
    ;

qualified_name
    : IDENTIFIER
    | PATH IDENTIFIER           { $$ = rcPrsCat($1, $2); }
    | IDENTIFIER '/' IDENTIFIER { $$ = rcPrsCat(rcPrsToPath(ctx, $1), $2, $3); CHK; }
    | IDENTIFIER '\\' IDENTIFIER { $$ = rcPrsCat(rcPrsToPath(ctx, $1), $2, $3); CHK; }
    | IDENTIFIER '.' IDENTIFIER { $$ = rcPrsCat(rcPrsToPath(ctx, $1), $2, $3); CHK; }
    | IDENTIFIER '.' '.' IDENTIFIER { $$ = rcPrsCat(rcPrsToPath(ctx, $1), $2, $3, $4); CHK; }
    ;

where_opt
    : %empty                    { $$ = nullptr; }
    | WHERE search_cond         { $$ = N(WhereSearchCond_Opt, rcPrsCat($1, N(SearchCond, $2))); CHK; }
    ;

group_opt
    : %empty                    { $$ = nullptr; }
    | GROUP BY expr_list        { $$ = N(GroupBy_Opt, rcPrsCat($1, $2, N(ExpressionList, $3))); CHK; }
    ;

having_opt
    : %empty                    { $$ = nullptr; }
    | HAVING search_cond        { $$ = N(Having_Opt, rcPrsCat($1, N(SearchCond, $2))); CHK; }
    ;

expr_list
    : expression
    | expr_list ',' expression  { $$ = rcPrsCat($1, $2, $3); }
    ;

/* Search conditions: each rule gives the chain that its user wraps. */

search_cond
    : search_cond OR search_cond
        { $$ = rcPrsCat(N(SearchCond, $1), $2, N(SearchCond, $3)); CHK; }
    | search_cond AND search_cond
        { $$ = rcPrsCat(N(SearchCond, $1), $2, N(SearchCond, $3)); CHK; }
    | NOT bool_primary          { $$ = rcPrsCat($1, N(BooleanPrimary, $2)); CHK; }
    | bool_primary              { $$ = N(BooleanPrimary, $1); CHK; }
    ;

bool_primary
    : '(' search_cond ')'       { $$ = rcPrsCat($1, N(SearchCond, $2), $3); CHK; }
    | predicate                 { $$ = N(Predicate, $1); CHK; }
    ;

predicate
    : expression compare_op expression
        { $$ = N(ComparePredicate, rcPrsCat($1, $2, N(ExprOrSubQuery, $3))); CHK; }
    | expression compare_op subquery
        { $$ = N(ComparePredicate, rcPrsCat($1, $2, N(ExprOrSubQuery, $3))); CHK; }
    | expression compare_op ALL subquery
        { $$ = N(QuantifiedPredicate, rcPrsCat($1, $2, N(ALLOrANY, $3), $4)); CHK; }
    | expression compare_op ANY subquery
        { $$ = N(QuantifiedPredicate, rcPrsCat($1, $2, N(ALLOrANY, $3), $4)); CHK; }
    | expression BETWEEN expression AND expression
        { $$ = N(BetweenPredicate, rcPrsCat($1, $2, $3, $4, $5)); CHK; }
    | expression NOT BETWEEN expression AND expression
        { $$ = N(BetweenPredicate, rcPrsCat($1, N(NOT_Opt, $2), $3, $4, $5, $6)); CHK; }
    | expression IN in_source
        { $$ = N(InPredicate, rcPrsCat($1, $2, $3)); CHK; }
    | expression NOT IN in_source
        { $$ = N(InPredicate, rcPrsCat($1, N(NOT_Opt, $2), $3, $4)); CHK; }
    | expression LIKE pattern
        { $$ = N(LikePredicate, rcPrsCat($1, N(NotOrNotLike, $2), $3)); CHK; }
    | expression NOTLIKE pattern
        { $$ = N(LikePredicate, rcPrsCat($1, N(NotOrNotLike, $2), $3)); CHK; }
    | expression IS NULL
        { $$ = N(NullPredicate, rcPrsCat($1, $2, $3)); CHK; }
    | expression IS NOT NULL
        { $$ = N(NullPredicate, rcPrsCat($1, $2, N(NOT_Opt, $3), $4)); CHK; }
    | EXISTS subquery
        { $$ = N(ExistsPredicate, rcPrsCat($1, $2)); CHK; }
    | '{' ESC_PRED pred_items '}'
        { $$ = N(VendorStringPredicate, $3); CHK; }
    | vendor_begin ESC_PRED pred_items vendor_end
        { $$ = N(VendorStringPredicate, $3); CHK; }
    ;

compare_op
    : EQ                        { $$ = N(CompareOp, $1); CHK; }
    | NE                        { $$ = N(CompareOp, $1); CHK; }
    | LT                        { $$ = N(CompareOp, $1); CHK; }
    | GT                        { $$ = N(CompareOp, $1); CHK; }
    | LE                        { $$ = N(CompareOp, $1); CHK; }
    | GE                        { $$ = N(CompareOp, $1); CHK; }
    ;

in_source
    : subquery                  { $$ = N(ValueListORSubQuery, $1); CHK; }
    | '(' value_list ')'        { $$ = N(ValueListORSubQuery, rcPrsCat($1, N(ValueList, $2), $3)); CHK; }
    ;

value_list
    : value                     { ctx->inValues = 1; $$ = $1; }
    | value_list ',' value      { rcPrsCountInValue(ctx); $$ = rcPrsCat($1, $2, $3); CHK; }
    ;

value
    : simple_value              { $$ = N(Value, $1); CHK; }
    ;

simple_value
    : '?'                       { $$ = N(DynamicParm, $1); CHK; }
    | USER
    | literal
    | '+' literal               { $$ = rcPrsCat($1, $2); }
    | '-' literal               { $$ = rcPrsCat($1, $2); }
    | value_escape
    ;

pattern
    : CHAR_STR_LIT              { $$ = N(Expression, N(Primary, N(Literal, $1))); CHK; }
    | '?'                       { $$ = N(Expression, N(Primary, N(DynamicParm, $1))); CHK; }
    | USER                      { $$ = N(Expression, N(Primary, $1)); CHK; }
    ;

pred_items
    : pred_item ',' pred_item   { $$ = rcPrsCat($1, $2, $3); }
    | pred_items ',' pred_item  { $$ = rcPrsCat($1, $2, $3); }
    ;

pred_item
    : expression
    | AND
    | OR
    ;

/* Expressions */

expression
    : expr                      { $$ = N(Expression, $1); CHK; }
    ;

expr
    : expr '+' expr             { $$ = rcPrsCat(N(Expression, $1), $2, N(Expression, $3)); CHK; }
    | expr '-' expr             { $$ = rcPrsCat(N(Expression, $1), $2, N(Expression, $3)); CHK; }
    | expr '*' expr             { $$ = rcPrsCat(N(Expression, $1), $2, N(Expression, $3)); CHK; }
    | expr '/' expr             { $$ = rcPrsCat(N(Expression, $1), $2, N(Expression, $3)); CHK; }
    | '+' expr %prec UMINUS     { $$ = rcPrsCat($1, N(Expression, $2)); CHK; }
    | '-' expr %prec UMINUS     { $$ = rcPrsCat($1, N(Expression, $2)); CHK; }
    | primary                   { $$ = N(Primary, $1); CHK; }
    ;

primary
    : col_name
    | literal
    | '?'                       { $$ = N(DynamicParm, $1); CHK; }
    | USER
    | '(' expression ')'        { $$ = rcPrsCat($1, $2, $3); }
    | set_fn
    | scalar_fn
    | IF '(' search_cond ',' expression ',' expression ')'
        { $$ = N(IFCondExpr, rcPrsCat($1, $2, N(SearchCond, $3), $4, $5, $6, $7, $8)); CHK; }
    | value_escape
    ;

col_name
    : IDENTIFIER                { $$ = N(ColName, N(ColId, $1)); CHK; }
    | IDENTIFIER '.' IDENTIFIER
        { $$ = N(ColName, rcPrsCat(N(TabNameOrCorName, $1), $2, N(ColId, $3))); CHK; }
    ;

literal
    : USINT_LIT                 { $$ = N(Literal, N(NumericLiteral, N(ExactNumLit, $1))); CHK; }
    | DECNUM_LIT                { $$ = N(Literal, N(NumericLiteral, N(ExactNumLit, $1))); CHK; }
    | APPROX_NUM_LIT            { $$ = N(Literal, N(NumericLiteral, $1)); CHK; }
    | CHAR_STR_LIT              { $$ = N(Literal, $1); CHK; }
    ;

set_fn
    : agg_op '(' '*' ')'        { $$ = rcPrsBuildCountStar(ctx, $1, $2, $3, $4); CHK; }
    | agg_op '(' expression ')'
        { $$ = N(SetFunctionRef, N(AllFn, rcPrsCat(N(DistAllFnOp, $1), $2, $3, $4))); CHK; }
    | agg_op '(' ALL expression ')'
        { $$ = N(SetFunctionRef, N(AllFn, rcPrsCat(N(DistAllFnOp, $1), $2, $3, $4, $5))); CHK; }
    | agg_op '(' DISTINCT col_name ')'
        { $$ = N(SetFunctionRef, N(DistinctFn, rcPrsCat(N(DistAllFnOp, $1),
                 N(DistinctFnOpParen, rcPrsCat($2, $3)), $4, $5))); CHK; }
    ;

agg_op
    : COUNT
    | SUM
    | MIN
    | MAX
    | AVG
    ;

scalar_fn
    : fn_name '(' ')'           { $$ = N(ScalarFn, rcPrsCat($1, $2, rcPrsBuildVoid(ctx), $3)); CHK; }
    | fn_name '(' fn_args ')'   { $$ = N(ScalarFn, rcPrsCat($1, $2, N(SFParmList, $3), $4)); CHK; }
    ;

fn_name
    : IDENTIFIER
    | LEFT                      { $$ = rcPrsRetag($1, RC_T_IDENTIFIER); }
    | USER                      { $$ = rcPrsRetag($1, RC_T_IDENTIFIER); }
    | NULL                      { $$ = rcPrsRetag($1, RC_T_IDENTIFIER); }
    ;

fn_args
    : expression
    | fn_args ',' expression    { $$ = rcPrsCat($1, $2, $3); }
    ;

value_escape
    : '{' escape_body '}'       { $$ = $2; }
    | vendor_begin escape_body vendor_end { $$ = $2; }
    ;

escape_body
    : ESC_FN scalar_fn          { $$ = $2; }
    | ESC_D CHAR_STR_LIT        { $$ = rcPrsBuildTypedLiteral(ctx, 9, $2); CHK; }
    | ESC_T CHAR_STR_LIT        { $$ = rcPrsBuildTypedLiteral(ctx, 10, $2); CHK; }
    | ESC_TS CHAR_STR_LIT       { $$ = rcPrsBuildTypedLiteral(ctx, 11, $2); CHK; }
    ;

vendor_begin
    : SVBEGIN IDENTIFIER '(' IDENTIFIER ')' ',' IDENTIFIER '(' IDENTIFIER ')'
        { rcPrsCheckVendor(ctx, $2, $4, $7, $9); $$ = nullptr; CHK; }
    ;

vendor_end
    : SVEND                     { $$ = nullptr; }
    ;

/* INSERT, UPDATE, DELETE */

insert_stmt
    : INSERT INTO table_name colids_opt ins_source
        { $$ = N(InsertStmt, rcPrsCat($1, $2, $3, $4, $5)); CHK; }
    ;

colids_opt
    : %empty                    { $$ = nullptr; }
    | paren_cols
    ;

paren_cols
    : '(' colid_list ')'        { $$ = N(ColIdList_Opt, rcPrsCat($1, N(ColIdList, $2), $3)); CHK; }
    ;

colid_list
    : col_id
    | colid_list ',' col_id     { $$ = rcPrsCat($1, $2, $3); }
    ;

col_id
    : IDENTIFIER                { $$ = N(ColId, $1); CHK; }
    ;

ins_source
    : VALUES '(' ins_list ')'
        { $$ = N(QuerySpecOrValList, rcPrsCat($1, $2, N(InsValList, $3), $4)); CHK; }
    | query_spec                { $$ = N(QuerySpecOrValList, $1); CHK; }
    ;

ins_list
    : ins_value
    | ins_list ',' ins_value    { $$ = rcPrsCat($1, $2, $3); }
    ;

ins_value
    : NULL                      { $$ = N(InsValue, $1); CHK; }
    | simple_value              { $$ = N(InsValue, $1); CHK; }
    ;

update_stmt
    : UPDATE table_name SET assign_list where_opt
        { $$ = N(UpdateStmt, rcPrsCat($1, $2, $3, N(ColAssignList, $4), $5)); CHK; }
    ;

assign_list
    : assign
    | assign_list ',' assign    { $$ = rcPrsCat($1, $2, $3); }
    ;

assign
    : IDENTIFIER EQ expression
        { $$ = N(ColAssign, rcPrsCat(N(ColName, N(ColId, $1)), $2, N(ExprOrNull, $3))); CHK; }
    | IDENTIFIER EQ NULL
        { $$ = N(ColAssign, rcPrsCat(N(ColName, N(ColId, $1)), $2, N(ExprOrNull, $3))); CHK; }
    ;

delete_stmt
    : DELETE FROM table_name where_opt
        { $$ = N(DeleteStmt, rcPrsCat($1, $2, $3, $4)); CHK; }
    ;

/* Definitions */

create_table
    : CREATE TABLE table_name '(' col_elements ')'
        { $$ = N(CreateTableStmt, rcPrsCat($1, $2, $3, $4, N(ColElementList, $5), $6)); CHK; }
    ;

col_elements
    : col_element
    | col_elements ',' col_element { $$ = rcPrsCat($1, $2, $3); }
    ;

col_element
    : col_def                   { $$ = N(ColumnElement, $1); CHK; }
    | table_con                 { $$ = N(ColumnElement, N(TableConDef, $1)); CHK; }
    ;

col_def
    : col_id data_type default_opt concons_opt
        { rcPrsCountCreateColumn(ctx); $$ = N(ColDef, rcPrsCat($1, $2, $3, $4)); CHK; }
    ;

data_type
    : IDENTIFIER                { $$ = N(DataType, $1); CHK; }
    | IDENTIFIER '(' USINT_LIT ')'
        { $$ = N(DataType, rcPrsCat($1, $2, N(Length, $3), $4)); CHK; }
    | IDENTIFIER '(' USINT_LIT ',' USINT_LIT ')'
        { $$ = N(DataType, rcPrsCat($1, $2, N(Precision, $3), $4, N(Scale, $5), $6)); CHK; }
    ;

default_opt
    : %empty                    { $$ = nullptr; }
    | DEFAULT default_value     { $$ = N(Default_Opt, rcPrsCat($1, N(DefaultValue, $2))); CHK; }
    ;

default_value
    : USER
    | NULL
    | literal
    | '+' literal               { $$ = rcPrsCat($1, $2); }
    | '-' literal               { $$ = rcPrsCat($1, $2); }
    ;

concons_opt
    : %empty                    { $$ = nullptr; }
    | concon_list               { $$ = N(ColConDefList_Opt, N(ColConDefList, $1)); CHK; }
    ;

concon_list
    : concon
    | concon_list concon        { $$ = rcPrsCat($1, $2); }
    ;

concon
    : NOT NULL                  { $$ = N(ColConDef, rcPrsCat($1, $2)); CHK; }
    | UNIQUE colids_opt         { $$ = N(ColConDef, rcPrsCat($1, $2)); CHK; }
    | PRIMARY KEY colids_opt    { $$ = N(ColConDef, rcPrsCat($1, $2, $3)); CHK; }
    | CHECK '(' search_cond ')' { $$ = N(ColConDef, rcPrsCat($1, $2, N(SearchCond, $3), $4)); CHK; }
    | REFERENCES table_name colids_opt
        { $$ = N(ColConDef, N(CTReferences, rcPrsCat($1, $2, $3))); CHK; }
    ;

table_con
    : UNIQUE paren_cols         { $$ = N(CTUnique, rcPrsCat($1, $2)); CHK; }
    | PRIMARY KEY paren_cols    { $$ = N(CTPrimaryKey, rcPrsCat($1, $2, $3)); CHK; }
    | CHECK '(' search_cond ')' { $$ = N(CTCheck, rcPrsCat($1, $2, N(SearchCond, $3), $4)); CHK; }
    | FOREIGN KEY paren_cols REFERENCES table_name paren_cols
        { $$ = N(CTForeignKey, rcPrsCat($1, $2, $3, N(CTReferences, rcPrsCat($4, $5, $6)))); CHK; }
    ;

create_index
    : CREATE unique_opt INDEX IDENTIFIER ON table_name '(' index_cols ')'
        { $$ = N(CreateIndexStmt, rcPrsCat($1, $2, $3, $4, $5, $6, $7, N(IndexColList, $8), $9)); CHK; }
    ;

unique_opt
    : %empty                    { $$ = nullptr; }
    | UNIQUE                    { $$ = N(Unique_Opt, $1); CHK; }
    ;

index_cols
    : col_id asc_opt            { $$ = rcPrsCat($1, $2); }
    | index_cols ',' col_id asc_opt { $$ = rcPrsCat($1, $2, $3, $4); }
    ;

create_view
    : CREATE VIEW viewed_name colids_opt AS query_spec
        { $$ = N(CreateViewStmt, rcPrsCat($1, $2, $3, $4, $5, $6)); CHK; }
    ;

drop_index
    : DROP INDEX IDENTIFIER '.' IDENTIFIER
        { $$ = N(DropIndexStmt, rcPrsCat($1, $2, N(IndexName, rcPrsCat($3, $4, $5)))); CHK; }
    ;

drop_table
    : DROP TABLE table_name casres_opt
        { $$ = N(DropTableStmt, rcPrsCat($1, $2, $3, $4)); CHK; }
    ;

drop_view
    : DROP VIEW viewed_name     { $$ = N(DropViewStmt, rcPrsCat($1, $2, $3)); CHK; }
    ;

casres_opt
    : %empty                    { $$ = nullptr; }
    | RESTRICT                  { $$ = N(CasOrRes_Opt, $1); CHK; }
    | CASCADE                   { $$ = N(CasOrRes_Opt, $1); CHK; }
    ;

alter_table
    : ALTER TABLE table_name ADD at_defs
        { $$ = N(AlterTableStmt, rcPrsCat($1, $2, $3, $4, $5)); CHK; }
    ;

at_defs
    : at_def                    { $$ = N(ATColDefs, $1); CHK; }
    | '(' at_list ')'           { $$ = N(ATColDefs, rcPrsCat($1, N(ATColDefList, $2), $3)); CHK; }
    ;

at_list
    : at_def
    | at_list ',' at_def        { $$ = rcPrsCat($1, $2, $3); }
    ;

at_def
    : col_id data_type          { $$ = N(ATColDef, rcPrsCat($1, $2)); CHK; }
    ;

/* Privileges */

grant_stmt
    : GRANT grant_privs ON table_name TO grantees
        { $$ = N(GrantStmt, rcPrsCat($1, $2, $3, $4, $5, $6)); CHK; }
    ;

grant_privs
    : ALL                       { $$ = N(AllOrGPriv, $1); CHK; }
    | gpriv_list                { $$ = N(AllOrGPriv, N(GPrivList, $1)); CHK; }
    ;

gpriv_list
    : gpriv
    | gpriv_list ',' gpriv      { $$ = rcPrsCat($1, $2, $3); }
    ;

gpriv
    : SELECT                    { $$ = N(GPriv, $1); CHK; }
    | INSERT                    { $$ = N(GPriv, $1); CHK; }
    | DELETE                    { $$ = N(GPriv, $1); CHK; }
    | UPDATE colids_opt         { $$ = N(GPriv, rcPrsCat($1, $2)); CHK; }
    | REFERENCES colids_opt     { $$ = N(GPriv, rcPrsCat($1, $2)); CHK; }
    ;

revoke_stmt
    : REVOKE rpriv_list ON table_name FROM grantees casres_opt
        { $$ = N(RevokeStmt, rcPrsCat($1, N(AllOrRPriv, N(RPrivList, $2)), $3, $4, $5, $6, $7)); CHK; }
    ;

rpriv_list
    : rpriv
    | rpriv_list ',' rpriv      { $$ = rcPrsCat($1, $2, $3); }
    ;

rpriv
    : ALL                       { $$ = N(RPriv, $1); CHK; }
    | SELECT                    { $$ = N(RPriv, $1); CHK; }
    | INSERT                    { $$ = N(RPriv, $1); CHK; }
    | DELETE                    { $$ = N(RPriv, $1); CHK; }
    | UPDATE                    { $$ = N(RPriv, $1); CHK; }
    | REFERENCES                { $$ = N(RPriv, $1); CHK; }
    ;

grantees
    : PUBLIC                    { $$ = N(PublicOrUsers, $1); CHK; }
    | user_list                 { $$ = N(PublicOrUsers, N(UserNameList, $1)); CHK; }
    ;

user_list
    : user_name
    | user_list ',' user_name   { $$ = rcPrsCat($1, $2, $3); }
    ;

user_name
    : IDENTIFIER                { rcPrsCheckUserName(ctx, $1); $$ = N(UserName, $1); CHK; }
    ;

/* Procedure calls */

proc_stmt
    : '{' proc_body '}'         { $$ = $2; }
    | vendor_begin proc_body vendor_end { $$ = $2; }
    ;

proc_body
    : ESC_CALL proc_call        { $$ = N(Procedure, $2); CHK; }
    | '?' EQ ESC_CALL proc_call
        { $$ = N(Procedure, rcPrsCat(N(ProcedureReturnValue, $1), $4)); CHK; }
    ;

proc_call
    : proc_name
    | proc_name '(' ')'         { $$ = rcPrsCat($1, $2, $3); }
    | proc_name '(' fn_args ')' { $$ = rcPrsCat($1, $2, N(SFParmList, $3), $4); CHK; }
    ;

proc_name
    : IDENTIFIER                { $$ = N(ProcedureName, $1); CHK; }
    ;

%%

int rcPrsRunGrammar(rcPrsContext *ctx)
{
    return rcprsparse(ctx);
}
