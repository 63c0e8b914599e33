// Completion: the transfer result, then polling until the station has restarted
// and reports the identity the catalogue expects.
#pragma once

#include "platform/platform.h"
#include "procedures/exchange.h"

int TransferResultHandler(Window dialog, ExchangeEvent event);
int RebootPollHandler(Window dialog, ExchangeEvent event);
int ModuleRebootPollHandler(Window dialog, ExchangeEvent event);
