// The search: broadcast find, decoding of the replies, module queries, listing.
#pragma once

#include "platform/platform.h"
#include "procedures/exchange.h"

int StartSearch(Window dialog);
int SearchHandler(Window dialog, ExchangeEvent event);
int ModuleInfoHandler(Window dialog, ExchangeEvent event);
// 1 when the walk reached the list's end and the listing ran; 0 while a query waits.
int BeginModuleQuery(Window dialog);
int QueryModules(Window dialog, StationRecord* first);
int NextModuleQuery(Window dialog);

// Decodes every queued discovery reply and removes it from the queue. Returns the
// first record that is `wanted` (nullptr: none, or not looking for one).
StationRecord* DecodeQueuedDiscoveryReplies(const StationRecord* wanted);
