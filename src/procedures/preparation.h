// Update preparation: find the chosen station again, then ask it to accept the update.
#pragma once

#include "platform/platform.h"
#include "procedures/exchange.h"

int StartPreparation(Window dialog, StationRecord* station);
int RefindHandler(Window dialog, ExchangeEvent event);
int UpdateReplyHandler(Window dialog, ExchangeEvent event);
