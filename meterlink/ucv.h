// The meter-link library (UCV): the calculator's block catalogue and the
// modem dial-up link. Its state exists from MeterLinkStartup to
// MeterLinkShutdown.
#pragma once

#include "meterlink/catalogue.h"
#include "meterlink/link.h"
#include "serial/serial_device.h"
#include "toolkit/toolkit.h"

namespace meterlink {

// Builds the catalogue, then the link's timers and driver (its port is not
// opened), then HeatSystemTypes. A second call before shutdown does nothing.
// tk and platform must outlive the shutdown.
void MeterLinkStartup(toolkit::Toolkit& tk, serial::SerialPlatform& platform = serial::SystemSerialPlatform());
// Frees all of it; nothing without a start-up. Not to be called from inside
// Dial or one of the link's notifications.
void MeterLinkShutdown();

bool MeterLinkStarted();
// Null outside start-up..shutdown.
TCatalogue* Catalogue();
TLink* Link();

}  // namespace meterlink
