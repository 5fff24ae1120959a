// The engine's SET statements: "SET " followed by the name of an engine
// option (the engine option table, rcopt_engine.h) and its value, consumed
// before parsing.
//
// rcDrsSpecialStatement is called first by preparation. It answers 1 when
// the text was such a statement: then *status is 0 when it was applied (the
// statement succeeds with no result set), or -1 with the message posted.
// It answers 0 for any other text, which goes on to the parser.
//
// Names match the start of the text without regard to case ("SET QryPlan"
// also matches "SET QryPlanX ..."); the character after the name is skipped
// whatever it is and the rest is the value. Switches: exactly "ON" (any
// case, nothing after it) sets the statement's bit, anything else clears it.
// DebugLevel takes a decimal number as the statement's trace level.
// TxnModel takes 0-4 and selects the driver's transaction model.
#pragma once

#include <cstdint>

struct rcErrorQueue;

// What a SET statement may change: the preparing statement's option mask
// and debug level, and the connection's flags and transaction model.
struct rcSetTarget {
    uint32_t *mask = nullptr;       // the statement's engine option mask
    uint16_t *debugLevel = nullptr; // the statement's engine trace level
    uint32_t *qryPlan = nullptr;    // the connection's query-plan flag
    uint32_t *drmTrace = nullptr;   // the connection's data-module trace flag
    // Selects transaction model 0-4 for the driver and puts the connection
    // in the new model's starting state: 0, or -1 with a message posted.
    int (*setTxnModel)(void *context, int model) = nullptr;
    void *context = nullptr;
    rcErrorQueue *errors = nullptr;
};

int rcDrsSpecialStatement(const rcSetTarget &target, const char *text, int16_t *status);
