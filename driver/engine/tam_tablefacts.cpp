// The tables' catalog facts of a table-access session (see tam_tablefacts.h).
#include "driver/engine/tam_tablefacts.h"

#include <map>
#include <utility>

#include "driver/engine/tam.h"

struct TamTableFactsCache {
    std::map<std::pair<std::string, std::string>, TamTableFacts> tables;
};

TamTableFacts *TamFindTableFacts(TamSession *session, const std::string &path,
                                 const std::string &table)
{
    if (session == nullptr || session->tableFacts == nullptr)
        return nullptr;
    auto at = session->tableFacts->tables.find({path, table});
    return at == session->tableFacts->tables.end() ? nullptr : &at->second;
}

TamTableFacts *TamKeepTableFacts(TamSession *session, const std::string &path,
                                 const std::string &table)
{
    if (session == nullptr)
        return nullptr;
    if (session->tableFacts == nullptr)
        session->tableFacts = new TamTableFactsCache;
    return &session->tableFacts->tables[{path, table}];
}

void TamForgetTableFacts(TamSession *session)
{
    if (session != nullptr && session->tableFacts != nullptr)
        session->tableFacts->tables.clear();
}

void TamFreeTableFacts(TamSession *session)
{
    if (session == nullptr)
        return;
    delete session->tableFacts;
    session->tableFacts = nullptr;
}
