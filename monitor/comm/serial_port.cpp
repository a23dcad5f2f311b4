#include "monitor/comm/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <thread>

#include "platform/base/ini_file.h"
#include "platform/base/text.h"

namespace kv90::comm {

std::string NormalisePortName(const std::string& name) {
  const std::string up = base::UpperCase(name);
  if (name.find("//./") != std::string::npos) return up;
  return "//./" + up;
}

std::string BarePortName(const std::string& portPath) {
  std::string s = portPath;
  const auto at = s.find("//./");
  if (at != std::string::npos) s.erase(0, at + 4);
  return s;
}

std::string ResolvePortDevice(const std::string& portPath, const std::string& settingsFile) {
  const std::string name = BarePortName(portPath);
  if (name.empty()) return {};
  if (!settingsFile.empty()) {
    base::TMemIniFile ini(settingsFile);
    const std::string mapped = base::Trim(ini.ReadString("PortMap", name, ""));
    if (!mapped.empty()) return mapped;
  }
  if (name.size() > 3 && base::StartsText("COM", name)) {
    const auto n = base::ParseInt(std::string_view(name).substr(3));
    if (n && *n >= 1 && *n <= 256) return "/dev/ttyS" + std::to_string(*n - 1);
  }
  return {};
}

std::string PortCaption(const std::string& name, const std::string& settingsFile) {
  const std::string bare = BarePortName(NormalisePortName(name));
  const std::string device = ResolvePortDevice(bare, settingsFile);
  return device.empty() ? bare : bare + " (" + device + ")";
}

namespace {
speed_t SpeedOf(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
  }
  return B9600;
}
}  // namespace

TPosixSerialPort::TPosixSerialPort(std::string devicePath, int baudRate)
    : path_(std::move(devicePath)), baud_(baudRate) {
  wanted_ = Open();
}

TPosixSerialPort::~TPosixSerialPort() { Close(); }

bool TPosixSerialPort::Open() {
  lastTry_ = std::chrono::steady_clock::now();
  if (path_.empty()) return false;
  const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // Exclusive use, as a serial port is not shared.
  if (isatty(fd)) ::ioctl(fd, TIOCEXCL);
  fd_ = fd;
  in_.clear();
  head_ = 0;
  ApplyLineSettings();
  return true;
}

bool TPosixSerialPort::ApplyLineSettings() {
  if (fd_ < 0) return false;
  termios t{};
  if (tcgetattr(fd_, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNBRK | BRKINT);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, SpeedOf(baud_));
  cfsetospeed(&t, SpeedOf(baud_));
  return tcsetattr(fd_, TCSANOW, &t) == 0;
}

void TPosixSerialPort::Close() {
  wanted_ = false;
  if (fd_ >= 0) {
    if (isatty(fd_)) ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }
  in_.clear();
  head_ = 0;
}

void TPosixSerialPort::Lost() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  in_.clear();
  head_ = 0;
  lastTry_ = std::chrono::steady_clock::now();
}

void TPosixSerialPort::Drain() {
  if (fd_ < 0) return;
  pollfd p{fd_, POLLIN, 0};
  const int r = ::poll(&p, 1, 0);
  if (r > 0 && (p.revents & POLLIN)) {
    char buf[4096];
    for (;;) {
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n > 0) {
        if (head_ > 0 && head_ == in_.size()) {
          in_.clear();
          head_ = 0;
        }
        in_.append(buf, static_cast<std::size_t>(n));
        // Nobody is taking what a chatty device sends: keep memory bounded.
        if (in_.size() - head_ > (std::size_t{16} << 20)) {
          in_.clear();
          head_ = 0;
        }
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        Lost();
        return;
      }
      break;
    }
  }
  if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN)) Lost();
}

void TPosixSerialPort::WriteFrame(const std::string& frame) {
  if (fd_ < 0 || frame.empty()) return;
  std::size_t done = 0;
  int stalls = 0;
  while (done < frame.size() && fd_ >= 0) {
    const ssize_t n = ::write(fd_, frame.data() + done, frame.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && ++stalls < 10) {
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, 10);
      continue;
    }
    if (n < 0 && errno == EIO) Lost();
    break;
  }
}

std::size_t TPosixSerialPort::BytesAvailable() {
  Drain();
  return in_.size() - head_;
}

bool TPosixSerialPort::ReadBytes(std::size_t n, std::string& out) {
  if (fd_ < 0) return false;
  if (in_.size() - head_ < n) Drain();
  if (fd_ < 0 || in_.size() - head_ < n) return false;
  out.assign(in_, head_, n);
  head_ += n;
  if (head_ == in_.size()) {
    in_.clear();
    head_ = 0;
  } else if (head_ > 65536) {
    in_.erase(0, head_);
    head_ = 0;
  }
  return true;
}

void TPosixSerialPort::PurgeAll() {
  if (fd_ < 0) return;
  tcflush(fd_, TCIOFLUSH);
  in_.clear();
  head_ = 0;
}

void TPosixSerialPort::WaitReadable(int timeoutMs) {
  if (fd_ < 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return;
  }
  pollfd p{fd_, POLLIN, 0};
  const int r = ::poll(&p, 1, timeoutMs);
  if (r > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN)) {
    Lost();
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
  }
}

bool TPosixSerialPort::Maintain() {
  if (fd_ < 0 && wanted_ &&
      std::chrono::steady_clock::now() - lastTry_ >= std::chrono::seconds(1)) {
    Open();
  }
  if (fd_ >= 0) Drain();
  return fd_ >= 0;
}

}  // namespace kv90::comm
