#include "meterlink/ucv.h"

#include <cstdint>
#include <memory>
#include <utility>

namespace meterlink {

namespace {

std::unique_ptr<TCatalogue> g_catalogue;
std::unique_ptr<TLink> g_link;

}  // namespace

void MeterLinkStartup(toolkit::Toolkit& tk, serial::SerialPlatform& platform) {
  if (g_link) return;
  g_catalogue = BuildCatalogue();

  auto link = std::make_unique<TLink>();
  link->tk = &tk;
  link->RxTimer = std::make_unique<TNoVisibleTimer>(tk, 200);
  link->RxTimer->SetOnTimer([t = link->RxTimer.get()] { t->TimerOnForRX(t); });
  link->ResponseTimer = std::make_unique<TNoVisibleTimer>(tk, uint32_t(link->ResponseTimeout));
  link->ResponseTimer->SetOnTimer([t = link->ResponseTimer.get()] { t->TimerOnForTimeOut(t); });
  link->LinkPort = std::make_unique<TNoVisibleDriver>(tk, platform);
  TNoVisibleDriver* port = link->LinkPort.get();
  port->SetStopBits(serial::sb2BITS);
  port->SetInputTimeout(uint32_t(link->PortInputTimeout));
  port->SetOnReceiveData([port](serial::TSerialDriver* sender, const char* data, uint32_t size) {
    port->ReceiveDataOn(sender, data, size);
  });
  g_link = std::move(link);

  FillHeatSystemTypes(g_catalogue->HeatSystemTypes);
}

void MeterLinkShutdown() {
  if (!g_link) return;
  g_catalogue.reset();
  g_link->ResponseTimer.reset();
  g_link->RxTimer.reset();
  g_link->LinkPort->Disconnect();
  g_link->LinkPort.reset();
  g_link.reset();
}

bool MeterLinkStarted() { return g_link != nullptr; }
TCatalogue* Catalogue() { return g_catalogue.get(); }
TLink* Link() { return g_link.get(); }

}  // namespace meterlink
