// Plan-tree operations: links, insertion above a node, detaching, finding
// the bottom of a chain, walks.
#include "driver/core/rcerror.h"
#include "driver/core/tests/base_fixture.h"
#include "driver/engine/plan/rcpln.h"

#include <gtest/gtest.h>

namespace {

class PlnNode : public DriverEnvTest {
protected:
    void SetUp() override
    {
        DriverEnvTest::SetUp();
        rcPlnStmtInit(&stmt, &errors, nullptr);
        plan = QueryPlan{};
    }
    void TearDown() override
    {
        rcPlnStmtFree(&stmt);
        rcErrQueueDestroy(&errors);
        DriverEnvTest::TearDown();
    }
    PlanNode *New(uint8_t kind) { return rcPlnNewNode(&stmt, kind); }

    rcErrorQueue errors{};
    rcPlnStmt stmt;
    QueryPlan plan{};
};

std::string Kinds(PlanNode *tree)
{
    std::string out;
    rcPlnVisit(&out, tree, [](void *ctx, uint8_t kind, PlanNode *) {
        *static_cast<std::string *>(ctx) += std::to_string(kind) + " ";
        return 1;
    });
    return out;
}

TEST_F(PlnNode, ReplaceStacksAboveAndDetachSplicesBack)
{
    PlanNode *a = New(PLN_TABLE);
    PlanNode *b = New(PLN_TABLE);
    PlanNode *join = New(PLN_JOIN);
    rcPlnSetParent(join, rcPlnChildLink(join, 1), a);
    rcPlnSetParent(join, rcPlnChildLink(join, 0), b);
    plan.root = join;
    // A filter over the inner input.
    PlanNode *filter = New(PLN_RESTRICT);
    rcPlnReplace(join, filter, 1, rcPlnLinkTo(&plan, b));
    EXPECT_EQ(join->second, filter);
    EXPECT_EQ(filter->first, b);
    EXPECT_EQ(b->parent, filter);
    EXPECT_EQ(Kinds(plan.root), "1 3 2 3 ");
    // A temporary table over the root.
    PlanNode *temp = New(PLN_TEMPTABLE);
    rcPlnReplace(nullptr, temp, 1, rcPlnLinkTo(&plan, join));
    EXPECT_EQ(plan.root, temp);
    EXPECT_EQ(join->parent, temp);
    plan.orderBy = temp;
    rcPlnDetach(&plan, temp);
    EXPECT_EQ(plan.root, join);
    EXPECT_EQ(plan.orderBy, join);
    EXPECT_EQ(join->parent, nullptr);
    rcPlnDetach(&plan, filter);
    EXPECT_EQ(join->second, b);
    EXPECT_EQ(b->parent, join);
}

TEST_F(PlnNode, FindStopsAtTablesAndFollowsTheMask)
{
    PlanNode *agg = New(PLN_AGGREGATE);
    PlanNode *root = agg;
    // A set-function chain under the aggregate's first child.
    PlanNode *f1 = New(PLN_SETFUNC);
    PlanNode *f2 = New(PLN_SETFUNC);
    rcPlnLink(&root, nullptr, f1, 0x1);
    rcPlnLink(&root, nullptr, f2, 0x1);
    EXPECT_EQ(agg->first, f1);
    EXPECT_EQ(f1->first, f2);
    EXPECT_EQ(f2->parent, f1);
    // The input at the bottom of the chain; then nothing is left to find.
    PlanNode *t = New(PLN_TABLE);
    rcPlnLink(&root, nullptr, t, 0x1);
    EXPECT_EQ(f2->first, t);
    PlanNode *parent = nullptr;
    EXPECT_EQ(rcPlnFind(&root, 0x1, &parent), nullptr);
    // Walks: the first set function, then the next one, then none.
    EXPECT_EQ(rcPlnFirstOfKind(root, PLN_SETFUNC), f1);
    EXPECT_EQ(rcPlnNextOfKind(root, f1, PLN_SETFUNC), f2);
    EXPECT_EQ(rcPlnNextOfKind(root, f2, PLN_SETFUNC), nullptr);
    EXPECT_EQ(rcPlnNextOfKind(root, nullptr, PLN_TABLE), t);
}

TEST_F(PlnNode, VisitorSkipsChildrenOnTwoAndStopsOnZero)
{
    PlanNode *top = New(PLN_JOIN);
    PlanNode *inner = New(PLN_JOIN);
    PlanNode *a = New(PLN_TABLE);
    PlanNode *b = New(PLN_TABLE);
    PlanNode *c = New(PLN_TABLE);
    rcPlnSetParent(top, &top->first, inner);
    rcPlnSetParent(top, &top->second, c);
    rcPlnSetParent(inner, &inner->first, a);
    rcPlnSetParent(inner, &inner->second, b);
    int seen = 0;
    struct Ctx {
        PlanNode *skip;
        int *seen;
    } ctx{inner, &seen};
    EXPECT_NE(rcPlnVisit(&ctx, top,
                         [](void *x, uint8_t, PlanNode *n) {
                             auto *k = static_cast<Ctx *>(x);
                             ++*k->seen;
                             return n == k->skip ? 2 : 1;
                         }),
              0);
    EXPECT_EQ(seen, 3); // top, inner (children skipped), c
    EXPECT_EQ(
        rcPlnVisit(nullptr, top,
                   [](void *, uint8_t kind, PlanNode *) { return kind == PLN_TABLE ? 0 : 1; }),
        0);
    // Walking in pre-order from a leaf climbs to the other input.
    EXPECT_EQ(rcPlnWalkNext(top, b), c);
    EXPECT_EQ(rcPlnWalkNext(top, c), nullptr);
}

TEST_F(PlnNode, CountIsAnInteger)
{
    PlanNode *count = New(PLN_SETFUNC);
    count->function = PLN_FN_COUNT;
    EXPECT_EQ(rcPlnSetFuncType(count), SQL_INTEGER);
}

} // namespace
