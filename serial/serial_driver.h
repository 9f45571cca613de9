// TSerialDriver: a non-visual component owning one serial device. It opens
// the device by path, programs the line, writes with a stall time-out and
// hands received bytes to its owner from a polling timer on the GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "serial/serial_device.h"
#include "toolkit/toolkit.h"

namespace serial {

enum TPortNumber {
  pnCustom, pnCOM1, pnCOM2, pnCOM3, pnCOM4, pnCOM5, pnCOM6, pnCOM7, pnCOM8,
  pnCOM9, pnCOM10, pnCOM11, pnCOM12, pnCOM13, pnCOM14, pnCOM15, pnCOM16
};
enum TBaudRate {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
  br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
// Bit/s of each named rate; brCustom has none (0).
extern const uint32_t BaudRateValues[16];
enum TDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
enum TStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
enum TParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum THwFlowControl { hfNONE, hfNONERTSON, hfRTSCTS };
enum TSwFlowControl { sfNONE, sfXONXOFF };
enum TPacketMode { pmDiscard, pmPass };

enum TModemLine : uint8_t { mlCTS = 1, mlDSR = 2, mlRING = 4, mlDCD = 8 };
using TModemLines = uint8_t;  // a set of TModemLine bits

class TSerialDriver;
// The bytes are valid only during the call; a handler copies what it keeps.
using TReceiveDataEvent = std::function<void(TSerialDriver* Sender, const char* DataPtr, uint32_t DataSize)>;
using TReceivePacketEvent = std::function<void(TSerialDriver* Sender, const char* Packet, uint32_t DataSize)>;

// Milliseconds to carry the bytes at 10 bit times each, rounded half to even.
uint32_t PacketTransmitTime(uint32_t rate, uint32_t bytes);

class TSerialDriver {
 public:
  // Polls only when constructed on the toolkit's main thread.
  explicit TSerialDriver(toolkit::Toolkit& tk, SerialPlatform& platform = SystemSerialPlatform());
  virtual ~TSerialDriver();
  TSerialDriver(const TSerialDriver&) = delete;
  TSerialDriver& operator=(const TSerialDriver&) = delete;

  // Inherited from the component base.
  std::string Name;
  intptr_t Tag = 0;

  // Published properties; each setter applies its rule at once.
  TPortNumber Port() const { return port_; }
  void SetPort(TPortNumber v);
  const std::string& PortName() const { return portName_; }
  void SetPortName(const std::string& v);
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate v);
  uint32_t BaudRateValue() const { return baudRateValue_; }
  void SetBaudRateValue(uint32_t v);
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits v);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits v);
  TParity Parity() const { return parity_; }
  void SetParity(TParity v);
  THwFlowControl HwFlow() const { return hwFlow_; }
  void SetHwFlow(THwFlowControl v);
  TSwFlowControl SwFlow() const { return swFlow_; }
  void SetSwFlow(TSwFlowControl v);
  uint32_t InBufSize() const { return inBufSize_; }
  void SetInBufSize(uint32_t v);
  uint32_t OutBufSize() const { return outBufSize_; }
  void SetOutBufSize(uint32_t v);
  int16_t PacketSize() const { return packetSize_; }
  void SetPacketSize(int16_t v);
  int32_t PacketTimeout() const { return packetTimeout_; }
  void SetPacketTimeout(int32_t v);
  TPacketMode PacketMode() const { return packetMode_; }
  void SetPacketMode(TPacketMode v) { packetMode_ = v; }
  uint16_t PollingDelay() const { return pollingDelay_; }
  void SetPollingDelay(uint16_t v);
  bool EnableDTROnOpen() const { return enableDtrOnOpen_; }
  void SetEnableDTROnOpen(bool v) { enableDtrOnOpen_ = v; }
  uint16_t OutputTimeout() const { return outputTimeout_; }
  void SetOutputTimeout(uint16_t v) { outputTimeout_ = v; }
  uint32_t InputTimeout() const { return inputTimeout_; }
  void SetInputTimeout(uint32_t v) { inputTimeout_ = v; }
  bool CheckLineStatus() const { return checkLineStatus_; }
  void SetCheckLineStatus(bool v) { checkLineStatus_ = v; }
  const TReceiveDataEvent& OnReceiveData() const { return onReceiveData_; }
  void SetOnReceiveData(TReceiveDataEvent v) { onReceiveData_ = std::move(v); }
  const TReceivePacketEvent& OnReceivePacket() const { return onReceivePacket_; }
  void SetOnReceivePacket(TReceivePacketEvent v) { onReceivePacket_ = std::move(v); }
  // The device went away under the open port (a pulled adapter): the port
  // is closed when this is raised.
  void SetOnDeviceLost(std::function<void(TSerialDriver*)> v) { onDeviceLost_ = std::move(v); }

  // Opens PortName and programs it; true when open afterwards.
  bool Connect();
  // Why the last Connect failed (None after one that succeeded).
  const OpenFailure& LastOpenFailure() const { return lastOpenFailure_; }
  void Disconnect();
  bool Connected() const { return device_ != nullptr; }
  bool PurgeBuffers(bool input, bool output);
  TModemLines ModemLines();
  uint16_t OutputRoom();
  uint32_t SendBytesWithin(const void* data, uint32_t count, uint32_t stallTimeoutMs);
  uint32_t SendBytes(const void* data, uint32_t count) { return SendBytesWithin(data, count, outputTimeout_); }
  bool SendString(const std::string& text);

  // Whether the driver has its polling timer (constructed on the main thread).
  bool Polls() const { return pollTimer_ != nullptr; }

 private:
  // None, or the step the device refused and why.
  OpenFailure ApplyLineSettings();
  SettingResult Purge(bool input, bool output);
  void Reapply();
  void PollTick();
  void HangUp();
  void PacketTimeoutRule(int32_t v);

  toolkit::Toolkit& tk_;
  SerialPlatform& platform_;
  std::unique_ptr<SerialDevice> device_;  // PortHandle: open exactly when set
  OpenFailure lastOpenFailure_;
  std::unique_ptr<toolkit::Timer> pollTimer_;
  std::vector<char> receiveBuffer_;
  static constexpr uint32_t kNoTick = 0xFFFFFFFFu;
  uint32_t packetStartTick_ = kNoTick;

  TPortNumber port_ = pnCOM2;
  std::string portName_ = "\\\\.\\COM2";
  TBaudRate baudRate_ = br9600;
  uint32_t baudRateValue_ = 9600;
  TDataBits dataBits_ = db8BITS;
  TStopBits stopBits_ = sb1BITS;
  TParity parity_ = ptNONE;
  THwFlowControl hwFlow_ = hfNONERTSON;
  TSwFlowControl swFlow_ = sfNONE;
  uint32_t inBufSize_ = 2048;
  uint32_t outBufSize_ = 2048;
  int16_t packetSize_ = -1;
  int32_t packetTimeout_ = -1;
  TPacketMode packetMode_ = pmDiscard;
  uint16_t pollingDelay_ = 50;
  bool enableDtrOnOpen_ = true;
  uint16_t outputTimeout_ = 500;
  uint32_t inputTimeout_ = 200;
  bool checkLineStatus_ = false;
  TReceiveDataEvent onReceiveData_;
  TReceivePacketEvent onReceivePacket_;
  std::function<void(TSerialDriver*)> onDeviceLost_;
};

}  // namespace serial
