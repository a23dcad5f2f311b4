// TPosixSerialPort: the transport on a Linux serial device (termios).
//
// The port is opened non-blocking and set raw: 8 data bits, no parity, one
// stop bit, no flow control of any kind, no echo, no character translation,
// at the configured baud rate.  Received bytes are drained into a buffer of
// our own, so a reply larger than the kernel's tty buffer is still taken in
// one piece.
//
// A device that goes away (the simulator closed its pseudo-terminal, a USB
// adapter was unplugged) is noticed as a hang-up or a read error: the port
// closes its descriptor and Maintain() tries to open the same path again at
// most once per second, so the link works again once the device is back.
//
// Port names: the stored name is "//./" + upper-case name ("//./COM7").  The
// section "PortMap" of the settings file maps a name to a device path
// ("COM7=/dev/ttyUSB0"); without an entry "COMn" is /dev/ttyS<n-1>.
#pragma once

#include <chrono>
#include <string>

#include "monitor/comm/transport.h"

namespace kv90::comm {

// "com7" -> "//./COM7"; a name already holding "//./" is only upper-cased.
std::string NormalisePortName(const std::string& name);
// "//./COM7" -> "COM7".
std::string BarePortName(const std::string& portPath);
// The host device of a port through the "PortMap" section of settingsFile
// (may be empty: then only the COMn rule applies).  Empty when unknown.
std::string ResolvePortDevice(const std::string& portPath, const std::string& settingsFile);
// The caption of a port in a port list: "COM7 (/dev/ttyUSB0)", or the bare
// name when it has no device.
std::string PortCaption(const std::string& name, const std::string& settingsFile);

class TPosixSerialPort final : public ITransport {
 public:
  TPosixSerialPort(std::string devicePath, int baudRate);
  ~TPosixSerialPort() override;
  TPosixSerialPort(const TPosixSerialPort&) = delete;
  TPosixSerialPort& operator=(const TPosixSerialPort&) = delete;

  bool IsOpen() const override { return fd_ >= 0; }
  void WriteFrame(const std::string& frame) override;
  std::size_t BytesAvailable() override;
  bool ReadBytes(std::size_t n, std::string& out) override;
  void PurgeAll() override;
  void WaitReadable(int timeoutMs) override;
  bool Maintain() override;
  void Close() override;

  const std::string& DevicePath() const { return path_; }
  // Applies the line settings; false when the device refused them.
  bool ApplyLineSettings();

 private:
  bool Open();
  void Lost();
  void Drain();

  std::string path_;
  int baud_;
  int fd_ = -1;
  bool wanted_ = false;  // opened once: reopen after a hang-up
  std::string in_;       // received, not yet taken
  std::size_t head_ = 0; // first byte of in_ not yet taken
  std::chrono::steady_clock::time_point lastTry_{};
};

}  // namespace kv90::comm
