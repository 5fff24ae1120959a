// Routines of the link layer shared by its two files: nc_link.cpp (frames,
// channels, the pump, the client's re-establishment) and nc_link_server.cpp
// (links the server side accepts, and their merge). Called with the
// component's lock held.
#pragma once

#include "netclient/nc_component.h"

namespace nc::link {

// Ends the channel's pending operation with `result`.
void Complete(LinkChannel *ch, int32_t result);
// The connection under the link was replaced: queued and half-moved frames
// go, channels return to idle and their pending operations end with
// kLinkReestablished.
void DropTransfers(ServerLink *link);
// Something moved on the link: the keep-alive period starts again.
void Activity(ServerLink *link);
// The channel with that number, unless it is finished.
LinkChannel *FindChannel(ServerLink *link, uint16_t number);
// Removes the channel from the link's queue, its receiving and its list.
void DeleteChannel(ServerLink *link, LinkChannel *ch);

} // namespace nc::link
