// Server-selection dialog (selector 6 of the TCP/IP component) and the saved
// server list "QXNCTCP.INI" in the Windows-directory place (platform/paths.h).
//
//   nc::RunServerListDialog(comp, pb)      selector 6: shows the dialog through
//                                          the dialog provider (platform/dialog.h)
//
// The dialog's logic is the UI-free NcServerListModel:
//   NcServerListModel m(comp, published, listPath);
//   m.Start()                   opens the broadcast socket, sends the first query
//   m.Pump(ms)                  collects answers for up to ms (timer 2); sends
//                               the query again every 5 s (timer 1)
//   m.SelectBroadcast(line) / m.SelectSaved(name) / m.ToggleMore()
//   m.New(name, address) / m.Delete(name)   change the saved list
//   m.Ok()                      20 broadcast choice, 10 saved choice, 0 stay
//   m.Cancel()                  -10020
// A new query keeps the servers already found; a server that misses two
// rounds of answers leaves the list. Choices are matched exactly.
//
// The list file: line 1 the last broadcast choice (service name, a tab, the
// computer name), line 2 the last saved choice (its name), then one saved
// server a line: address, one blank, name. Names hold up to 63 characters,
// addresses up to 31; lines are read whole. Every change is written to a new
// file in the same directory, which then replaces the list.
#pragma once

#include "netclient/nc_component.h"

#include <functional>
#include <string>
#include <vector>

namespace nc {

inline constexpr size_t kSavedNameMax = 63;
inline constexpr size_t kSavedAddressMax = 31;
inline constexpr size_t kFoundServersMax = 127;

enum : int {
    kChoiceBroadcast = 20,
    kChoiceSaved = 10,
};

struct NcSavedServerList {
    struct Entry {
        std::string address;
        std::string name;
    };
    std::string lastBroadcast; // "service\tcomputer"
    std::string lastSaved;     // a saved name (tab where the list shows "@")
    std::vector<Entry> entries;

    // False when an existing file cannot be read; a missing file is empty.
    bool Load(const std::string &path);
    // Writes a new file beside `path` and renames it into place.
    bool Save(const std::string &path) const;
    // The entry whose name is `name` exactly, or null.
    const Entry *Find(const std::string &name) const;
};

struct NcFoundServer {
    std::string computer, published, service;
    uint32_t address = 0;
    uint16_t port = 0;
    unsigned lastRound = 0;
    std::string Line() const { return service + "\t" + computer; }
};

class NcServerListModel {
public:
    using Question = std::function<bool(const std::string &caption, const std::string &text)>;

    NcServerListModel(TcpComponent *comp, std::string published, std::string listPath);

    // 0, or -10002 when the broadcast socket cannot be opened.
    int Start();
    void Pump(int ms);

    // The broadcast list ("service\tcomputer" lines) and the saved list
    // (names, a tab shown as "@").
    std::vector<std::string> BroadcastLines() const;
    std::vector<std::string> SavedNames() const;

    bool SelectBroadcast(const std::string &line);
    bool SelectSaved(const std::string &listText);
    void ToggleMore();
    // Saves a server; an existing name is replaced only when `ask` says Yes.
    bool New(const std::string &name, const std::string &address, const Question &ask);
    bool Delete(const std::string &listText, const Question &ask);
    int Ok();
    uint16_t Port() const { return port_; }

    // After Ok: the name for the caller ("service computer" or the saved
    // address), the text for the name buffer, and the location when made.
    std::string chosenName;
    std::string chosenText;
    bool haveLocation = false;
    QXLocationRecord location;

    std::string published;
    uint8_t broadcastMode = 1; // the component's brst
    bool more = false;         // "More Choices" shown
    int active = kChoiceBroadcast;
    std::string broadcastChoice; // "service\tcomputer"
    std::string savedChoice;     // list text
    std::string nameEdit, addressEdit;
    bool listFileOk = true;
    uint32_t queryEveryMs = 5000; // timer 1; tests shrink it

private:
    void Query();
    void Collect();
    void OpenList();
    void FillEdits();

    TcpComponent *comp_;
    std::string listPath_;
    NcSavedServerList list_;
    std::vector<NcFoundServer> found_;
    SockGen sock_;
    char selected_[32] = {};
    uint16_t port_ = 0;
    uint32_t broadcastAddress_ = 0;
    unsigned round_ = 0;
    uint32_t lastQueryMs_ = 0;
};

// Selector 6 (called without the component's lock): runs the dialog; on success pb->name points at
// the chosen name text and pb->text at the name to report (both length-prefixed, in buffers of this
// thread), pb->location at a new location when one was made.
void RunServerListDialog(TcpComponent *comp, ComponentParamBlock *pb);

} // namespace nc
