// Server-selection dialog and saved server list (see nc_select_dialog.h).
#include "netclient/nc_select_dialog.h"

#include "netclient/nc_charset.h"
#include "platform/clock.h"
#include "platform/dialog.h"
#include "platform/paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nc {

namespace {

constexpr size_t kDatagram = 96;
constexpr int kFirstAnswersMs = 500;

// The dialog's texts.
constexpr const char *kTxtConfirmDelete =
    "Do you really want to delete\nthis server from the server list?";
constexpr const char *kTxtCannotOpenIni = "Cannot open .INI File";
constexpr const char *kTxtReplace =
    "This server's name already exists.\nDo you want to replace it?";
constexpr const char *kTxtWarning = "Warning";
constexpr const char *kTxtDeleteServer = "Delete a server";
constexpr const char *kTxtCaption = "QX Network Component";
constexpr const char *kTxtMore = "More Choices >>";
constexpr const char *kTxtFewer = "<< Fewer Choices";
constexpr const char *kTxtPublished = "QX Server";

enum : int {
    kIdMoreFewer = 1026,
    kIdNew = 1000,
    kIdDelete = 1002,
};

std::string Field(const uint8_t *p)
{
    return std::string(reinterpret_cast<const char *>(p),
                       strnlen(reinterpret_cast<const char *>(p), 31));
}

// List text of a saved name: its first tab shown as "@", and back.
std::string ToListText(std::string s)
{
    size_t t = s.find('\t');
    if (t != std::string::npos)
        s[t] = '@';
    return s;
}

std::string FromListText(std::string s)
{
    size_t t = s.find('@');
    if (t != std::string::npos)
        s[t] = '\t';
    return s;
}

std::string CutAtLineEnd(const std::string &s) { return s.substr(0, s.find_first_of("\r\n")); }

void MakeParentDirectory(const std::string &path)
{
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/') {
            std::string dir = path.substr(0, i);
            if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
                return;
        }
}

} // namespace

bool NcSavedServerList::Load(const std::string &path)
{
    lastBroadcast.clear();
    lastSaved.clear();
    entries.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ::access(path.c_str(), F_OK) != 0; // missing: an empty list
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        line = CutAtLineEnd(line);
        if (n == 1) {
            lastBroadcast = line;
        } else if (n == 2) {
            lastSaved = line;
        } else if (!line.empty()) {
            size_t blank = line.find(' ');
            if (blank == std::string::npos)
                entries.push_back({line, line});
            else
                entries.push_back({line.substr(0, blank), line.substr(blank + 1)});
        }
    }
    return true;
}

bool NcSavedServerList::Save(const std::string &path) const
{
    MakeParentDirectory(path);
    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    std::string text = lastBroadcast + "\n" + lastSaved + "\n";
    for (const Entry &e : entries)
        text += e.address + " " + e.name + "\n";
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        ok = n > 0;
        done += ok ? size_t(n) : 0;
    }
    ok = ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

const NcSavedServerList::Entry *NcSavedServerList::Find(const std::string &name) const
{
    for (const Entry &e : entries)
        if (e.name == name)
            return &e;
    return nullptr;
}

NcServerListModel::NcServerListModel(TcpComponent *comp, std::string published,
                                     std::string listPath)
    : published(std::move(published)), comp_(comp), listPath_(std::move(listPath))
{
    std::lock_guard lock(comp->mutex);
    std::memcpy(selected_, comp->selected, sizeof selected_);
    selected_[31] = 0;
    port_ = comp->port;
    broadcastAddress_ = comp->broadcastAddress;
    broadcastMode = comp->broadcast;
}

int NcServerListModel::Start()
{
    if (sock_.Create(SOCK_DGRAM) != 0)
        return QX_ERR_LINK;
    OpenList();
    if (!listFileOk)
        list_ = NcSavedServerList{};
    broadcastChoice = list_.lastBroadcast;
    savedChoice = ToListText(list_.lastSaved);
    more = broadcastMode == 0;
    active = more ? kChoiceSaved : kChoiceBroadcast;
    if (broadcastMode != 0)
        Query();
    if (more)
        FillEdits();
    return 0;
}

void NcServerListModel::OpenList()
{
    listFileOk = list_.Load(listPath_);
    if (listFileOk && ::access(listPath_.c_str(), F_OK) != 0)
        listFileOk = list_.Save(listPath_); // a first run makes the file with two empty lines
    if (!listFileOk)
        PlatDialogCurrent()->Message(kTxtWarning, kTxtCannotOpenIni);
}

void NcServerListModel::Query()
{
    uint8_t query[kDatagram];
    BuildServerQuery(query, 0, selected_, std::string());
    ++round_;
    lastQueryMs_ = PlatTickCount();
    sock_.SendTo(query, kDatagram, broadcastAddress_, port_);
}

void NcServerListModel::Collect()
{
    for (;;) {
        uint8_t answer[kDatagram + 1];
        size_t got = 0;
        uint32_t address = 0;
        uint16_t port = 0;
        if (sock_.RecvFrom(answer, sizeof answer, got, address, port) != 0)
            break;
        if (got != kDatagram)
            continue;
        ConvertMacToPCText(answer, 31);
        ConvertMacToPCText(answer + 32, 31);
        ConvertMacToPCText(answer + 64, 31);
        NcFoundServer s{Field(answer), Field(answer + 32), Field(answer + 64), address, port,
                        round_};
        if (s.published != Field(reinterpret_cast<const uint8_t *>(selected_)))
            continue;
        bool known = false;
        for (NcFoundServer &f : found_)
            if (f.Line() == s.Line()) {
                f = s;
                known = true;
            }
        if (!known && found_.size() < kFoundServersMax)
            found_.push_back(s);
    }
    // A server that answered neither this query nor the one before is gone.
    std::erase_if(found_, [&](const NcFoundServer &f) { return f.lastRound + 1 < round_; });
}

void NcServerListModel::Pump(int ms)
{
    if (broadcastMode == 0)
        return;
    uint32_t start = PlatTickCount();
    for (;;) {
        if (PlatTickCount() - lastQueryMs_ >= queryEveryMs)
            Query();
        Collect();
        int left = ms - int(PlatTickCount() - start);
        if (left <= 0)
            break;
        pollfd p{sock_.Fd(), POLLIN, 0};
        ::poll(&p, 1, left);
    }
}

std::vector<std::string> NcServerListModel::BroadcastLines() const
{
    std::vector<std::string> lines;
    for (const NcFoundServer &f : found_)
        lines.push_back(f.Line());
    return lines;
}

std::vector<std::string> NcServerListModel::SavedNames() const
{
    std::vector<std::string> names;
    for (const NcSavedServerList::Entry &e : list_.entries)
        if (!e.name.empty())
            names.push_back(ToListText(e.name));
    return names;
}

bool NcServerListModel::SelectBroadcast(const std::string &line)
{
    for (const NcFoundServer &f : found_)
        if (f.Line() == line) {
            broadcastChoice = line;
            active = kChoiceBroadcast;
            nameEdit = ToListText(line).substr(0, kSavedNameMax);
            addressEdit = AddressText(f.address);
            return true;
        }
    return false;
}

bool NcServerListModel::SelectSaved(const std::string &listText)
{
    const NcSavedServerList::Entry *e = list_.Find(FromListText(listText));
    if (!e || !more)
        return false;
    savedChoice = listText;
    active = kChoiceSaved;
    nameEdit = listText;
    addressEdit = e->address;
    return true;
}

void NcServerListModel::FillEdits()
{
    nameEdit.clear();
    addressEdit.clear();
    if (active == kChoiceBroadcast && !broadcastChoice.empty())
        SelectBroadcast(broadcastChoice);
    else if (active == kChoiceSaved && !savedChoice.empty())
        SelectSaved(savedChoice);
}

void NcServerListModel::ToggleMore()
{
    if (broadcastMode != 1)
        return; // broadcast off shows only the saved list, broadcast-only never does
    more = !more;
    OpenList();
    if (!more)
        active = kChoiceBroadcast;
    else
        FillEdits();
}

bool NcServerListModel::New(const std::string &nameIn, const std::string &addressIn,
                            const Question &ask)
{
    if (!more || !listFileOk)
        return false;
    std::string name = FromListText(nameIn.substr(0, kSavedNameMax));
    std::string address = addressIn.substr(0, kSavedAddressMax);
    // The file keeps the address up to its first blank and the name to the line's end.
    if (name.empty() || address.empty() || address.find_first_of(" \t\r\n") != std::string::npos ||
        name.find_first_of("\r\n") != std::string::npos)
        return false;
    NcSavedServerList changed = list_;
    bool replaced = false;
    for (NcSavedServerList::Entry &e : changed.entries)
        if (e.name == name) {
            if (!ask(kTxtWarning, kTxtReplace))
                return false;
            e.address = address;
            replaced = true;
        }
    if (!replaced)
        changed.entries.push_back({address, name});
    if (!changed.Save(listPath_)) {
        PlatDialogCurrent()->Message(kTxtWarning, kTxtCannotOpenIni);
        return false;
    }
    list_ = changed;
    savedChoice = ToListText(name);
    active = kChoiceSaved;
    FillEdits();
    return true;
}

bool NcServerListModel::Delete(const std::string &listText, const Question &ask)
{
    std::string name = FromListText(listText);
    if (!more || !list_.Find(name) || !ask(kTxtDeleteServer, kTxtConfirmDelete))
        return false;
    NcSavedServerList changed = list_;
    std::erase_if(changed.entries,
                  [&](const NcSavedServerList::Entry &e) { return e.name == name; });
    if (!changed.Save(listPath_)) {
        PlatDialogCurrent()->Message(kTxtWarning, kTxtCannotOpenIni);
        return false;
    }
    list_ = changed;
    if (savedChoice == listText)
        savedChoice.clear();
    return true;
}

int NcServerListModel::Ok()
{
    haveLocation = false;
    if (active == kChoiceSaved) {
        const NcSavedServerList::Entry *e = list_.Find(FromListText(savedChoice));
        if (savedChoice.empty() || !more || !e)
            return 0;
        NcSavedServerList changed;
        if (changed.Load(listPath_)) {
            changed.lastSaved = FromListText(savedChoice);
            if (!broadcastChoice.empty())
                changed.lastBroadcast = broadcastChoice;
            changed.Save(listPath_);
        }
        chosenText = e->address;
        chosenName = e->address; // what a later find resolves
        return kChoiceSaved;
    }
    const NcFoundServer *chosen = nullptr;
    for (const NcFoundServer &f : found_)
        if (f.Line() == broadcastChoice)
            chosen = &f;
    if (!chosen)
        return 0;
    NcSavedServerList changed;
    if (changed.Load(listPath_)) {
        changed.lastBroadcast = broadcastChoice;
        changed.Save(listPath_);
    }
    chosenText = broadcastChoice;
    chosenName =
        chosen->computer.empty() ? chosen->service : chosen->service + " " + chosen->computer;
    location = QXLocationRecord{};
    location.address = chosen->address;
    location.port = chosen->port;
    haveLocation = true;
    return kChoiceBroadcast;
}

namespace {

// One round of the dialog through the provider: the lists and edits as
// fields, the further buttons, then the commands the answer gives.
int RunRounds(NcServerListModel &m)
{
    PlatDialogProvider *ui = PlatDialogCurrent();
    auto ask = [ui](const std::string &caption, const std::string &text) {
        return ui->Ask(caption, text);
    };
    m.Pump(kFirstAnswersMs);
    for (;;) {
        std::vector<PlatDialogField> fields(4);
        fields[0].label = "Connect to " + m.published + " (TCP/IP)";
        fields[0].choices = m.BroadcastLines();
        fields[0].enabled = m.broadcastMode != 0;
        for (const std::string &c : fields[0].choices)
            if (c == m.broadcastChoice)
                fields[0].value = c;
        fields[1].label = "Saved servers";
        fields[1].choices = m.SavedNames();
        fields[1].enabled = m.more;
        for (const std::string &c : fields[1].choices)
            if (c == m.savedChoice)
                fields[1].value = c;
        fields[2].label = "Name:";
        fields[2].limit = kSavedNameMax;
        fields[2].value = m.nameEdit;
        fields[2].enabled = m.more;
        fields[3].label = "Address:";
        fields[3].limit = kSavedAddressMax;
        fields[3].value = m.addressEdit;
        fields[3].enabled = m.more;
        std::vector<PlatDialogButton> buttons = {
            {kIdMoreFewer, m.more ? kTxtFewer : kTxtMore, m.broadcastMode == 1},
            {kIdNew, "&New", m.more},
            {kIdDelete, "&Delete", m.more},
        };
        std::vector<PlatDialogField> before = fields;
        int r = ui->RunButtons(kTxtCaption, fields, 0, buttons);
        if (r == PLAT_DIALOG_CANCEL || r == PLAT_DIALOG_FAILED)
            return QX_ERR_DIALOG_CANCEL;
        if (fields[0].value != before[0].value && !fields[0].value.empty())
            m.SelectBroadcast(fields[0].value);
        if (fields[1].value != before[1].value && !fields[1].value.empty())
            m.SelectSaved(fields[1].value);
        switch (r) {
        case PLAT_DIALOG_OK:
            if (int end = m.Ok())
                return end;
            break;
        case kIdMoreFewer: m.ToggleMore(); break;
        case kIdNew: m.New(fields[2].value, fields[3].value, ask); break;
        case kIdDelete: m.Delete(fields[1].value, ask); break;
        default: break;
        }
        m.Pump(0);
    }
}

void PutPString(unsigned char *out, size_t size, const std::string &s)
{
    size_t n = std::min(s.size(), size - 1);
    out[0] = uint8_t(n);
    std::memcpy(out + 1, s.data(), n);
}

} // namespace

void RunServerListDialog(TcpComponent *comp, ComponentParamBlock *pb)
{
    // The names handed back live in this thread's buffers until its next selection.
    thread_local unsigned char nameBuffer[256];
    thread_local unsigned char textBuffer[256];
    std::string published = kTxtPublished;
    if (pb->code == FourCC("NDLG") && pb->name && pb->name[0] != 0)
        published.assign(reinterpret_cast<const char *>(pb->name + 1), pb->name[0]);
    NcServerListModel m(comp, published, PlatPathIn(PlatDir::Windows, "QXNCTCP.INI"));
    int status = m.Start();
    if (status == 0)
        status = RunRounds(m);
    if (status < 0) {
        pb->result = status;
        return;
    }
    PutPString(nameBuffer, sizeof nameBuffer, m.chosenText);
    PutPString(textBuffer, sizeof textBuffer, m.chosenName.substr(0, kSavedNameMax));
    pb->name = nameBuffer;
    pb->text = textBuffer;
    QXLocationRecord location = m.location;
    if (!m.haveLocation && !ResolveServerAddress(nameBuffer, m.Port(), location)) {
        pb->result = QX_ERR_NO_SERVER;
        return;
    }
    pb->location = new QXLocationRecord(location);
    pb->result = 0;
}

} // namespace nc
