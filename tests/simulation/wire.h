// The program's devices recorded: what they took and gave, to hold the log
// against.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "serial/serial_device.h"
#include "tests/simulation/report.h"

namespace simulation {

// What the program's devices took and gave, to hold the log against.
struct Wire {
  std::string written;        // every byte a device took from the program
  uint64_t shortWrites = 0;   // writes that took less than offered, or failed, or found the device gone
  std::string readSinceSend;  // bytes read since the last command line
  uint64_t shutdownsRead = 0;  // shutdown reports among all bytes read
  std::string readTail;        // the last bytes read, for a report cut between two reads

  void Read(const char* bytes, uint32_t n) {
    readSinceSend.append(bytes, n);
    static const std::string kShutdown = "SHUTDOWN";
    std::string s = readTail + std::string(bytes, n);
    for (size_t at = s.find(kShutdown); at != std::string::npos; at = s.find(kShutdown, at + 1)) ++shutdownsRead;
    readTail = s.substr(s.size() > kShutdown.size() - 1 ? s.size() - (kShutdown.size() - 1) : 0);
  }
};

class RecordingDevice final : public serial::SerialDevice {
 public:
  RecordingDevice(std::unique_ptr<serial::SerialDevice> inner, Wire& wire) : inner_(std::move(inner)), wire_(wire) {}
  serial::SettingResult SetLineSettings(const serial::DeviceControlBlock& dcb) override { return inner_->SetLineSettings(dcb); }
  serial::SettingResult SetQueueSizes(uint32_t in, uint32_t out) override { return inner_->SetQueueSizes(in, out); }
  bool SetTimeouts(const serial::CommTimeouts& t) override { return inner_->SetTimeouts(t); }
  serial::SettingResult Purge(uint32_t flags) override { return inner_->Purge(flags); }
  serial::IoResult GetQueueStatus(serial::QueueStatus& s) override {
    const serial::IoResult r = inner_->GetQueueStatus(s);
    // Gone before a send could offer its bytes: the send takes none of them.
    if (r == serial::IoResult::HungUp) wire_.shortWrites++;
    return r;
  }
  serial::IoResult Read(void* buffer, uint32_t size, uint32_t& read) override {
    const serial::IoResult r = inner_->Read(buffer, size, read);
    if (read > size) Violation("a device read more than asked for");
    wire_.Read(static_cast<const char*>(buffer), read);
    return r;
  }
  serial::IoResult Write(const void* data, uint32_t size, uint32_t& written) override {
    const serial::IoResult r = inner_->Write(data, size, written);
    wire_.written.append(static_cast<const char*>(data), written);
    if (r != serial::IoResult::Ok || written < size) wire_.shortWrites++;
    return r;
  }
  bool GetModemStatus(uint32_t& bits) override { return inner_->GetModemStatus(bits); }
  void WaitWritable(uint32_t maxMs) override { inner_->WaitWritable(maxMs); }

 private:
  std::unique_ptr<serial::SerialDevice> inner_;
  Wire& wire_;
};

class RecordingPlatform final : public serial::SerialPlatform {
 public:
  RecordingPlatform(serial::SerialPlatform& inner, Wire& wire) : inner_(inner), wire_(wire) {}
  std::unique_ptr<serial::SerialDevice> Open(const std::string& path, serial::OpenFailure& why) override {
    auto device = inner_.Open(path, why);
    if (!device) return nullptr;
    return std::make_unique<RecordingDevice>(std::move(device), wire_);
  }

 private:
  serial::SerialPlatform& inner_;
  Wire& wire_;
};

}  // namespace simulation
