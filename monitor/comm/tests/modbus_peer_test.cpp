// The register functions against a Modbus implementation we did not write:
// libmodbus as an RTU slave on one pseudo-terminal, our link on another, a
// relay between them.  Its CRC check must accept our frames, ours its replies.
#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "monitor/comm/serial.h"
#include "monitor/comm/tests/link_helpers.h"

using namespace kv90::comm;

namespace {
struct Pty {
  int master = -1, holder = -1;
  std::string slave;
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    grantpt(master);
    unlockpt(master);
    slave = ptsname(master);
    holder = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    tcgetattr(holder, &t);
    cfmakeraw(&t);
    tcsetattr(holder, TCSANOW, &t);
  }
  ~Pty() {
    close(holder);
    close(master);
  }
};

// Copies bytes between the two terminals until stopped.
class Relay {
 public:
  Relay(Pty& a, Pty& b) : a_(a), b_(b), t_([this] { Run(); }) {}
  ~Relay() {
    stop_ = true;
    t_.join();
  }

 private:
  void Run() {
    char buf[512];
    while (!stop_) {
      pollfd p[2] = {{a_.master, POLLIN, 0}, {b_.master, POLLIN, 0}};
      if (poll(p, 2, 20) <= 0) continue;
      for (int i = 0; i < 2; ++i) {
        if (!(p[i].revents & POLLIN)) continue;
        const ssize_t n = read(p[i].fd, buf, sizeof buf);
        if (n > 0 && write(p[1 - i].fd, buf, static_cast<std::size_t>(n)) != n) { /* a test would time out */ }
      }
    }
  }
  Pty& a_;
  Pty& b_;
  std::atomic<bool> stop_{false};
  std::thread t_;
};

// libmodbus RTU slave 17 with 100 input and 100 holding registers.
class Slave {
 public:
  explicit Slave(const std::string& device) {
    ctx_ = modbus_new_rtu(device.c_str(), 9600, 'N', 8, 1);
    map_ = modbus_mapping_new(0, 0, 100, 100);
    modbus_set_slave(ctx_, 17);
    ok_ = ctx_ && map_ && modbus_connect(ctx_) == 0;
    modbus_set_indication_timeout(ctx_, 0, 100000);
    if (ok_) t_ = std::thread([this] { Run(); });
  }
  ~Slave() {
    stop_ = true;
    if (t_.joinable()) t_.join();
    modbus_close(ctx_);
    modbus_mapping_free(map_);
    modbus_free(ctx_);
  }
  bool ok() const { return ok_; }
  modbus_mapping_t* map() { return map_; }
  // libmodbus's slave side does not serve diagnostics: in raw mode the slave
  // echoes the request's first six bytes with a CRC computed by libmodbus.
  std::atomic<bool> rawEcho{false};
  std::atomic<int> served{0}, badCrc{0};

 private:
  void Run() {
    std::uint8_t q[MODBUS_RTU_MAX_ADU_LENGTH];
    std::string raw;
    while (!stop_) {
      if (rawEcho) {
        pollfd p{modbus_get_socket(ctx_), POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buf[64];
        const ssize_t n = read(p.fd, buf, sizeof buf);
        if (n > 0) raw.append(buf, static_cast<std::size_t>(n));
        if (raw.size() >= 8) {
          modbus_send_raw_request(ctx_, reinterpret_cast<const std::uint8_t*>(raw.data()), 6);
          raw.erase(0, 8);
          ++served;
        }
        continue;
      }
      const int rc = modbus_receive(ctx_, q);
      if (rc > 0) {
        modbus_reply(ctx_, q, rc, map_);
        ++served;
      } else if (rc < 0 && errno == EMBBADCRC) {
        ++badCrc;
      }
    }
  }
  modbus_t* ctx_ = nullptr;
  modbus_mapping_t* map_ = nullptr;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::thread t_;
};
}  // namespace

TEST(ModbusPeer, RegisterFunctionsAgainstLibmodbus) {
  Pty ours, theirs;
  Relay relay(ours, theirs);
  Slave slave(theirs.slave);
  ASSERT_TRUE(slave.ok()) << modbus_strerror(errno);
  for (int i = 0; i < 100; ++i) slave.map()->tab_input_registers[i] = static_cast<std::uint16_t>(1000 + i);
  slave.map()->tab_input_registers[3] = 0x8000;
  slave.map()->tab_input_registers[4] = 0x8001;
  TSerial link(TCommOptions{}, ours.slave);
  ASSERT_TRUE(link.PortOpen());

  // Function 3 goes out as 0x04 too: both read the input registers.
  for (int fn : {kFuncReadInput, kFuncReadHolding}) {
    const auto o = linktest::RunRequest(link, {17, fn, 0, 32, 0});
    ASSERT_EQ(0, o.error) << fn << ": " << LinkErrorText(o.error);
    EXPECT_EQ(1000, o.values[1]);
    EXPECT_EQ(32768, o.values[4]);
    EXPECT_EQ(-32767, o.values[5]);
    EXPECT_EQ(1031, o.values[32]);
  }
  auto o = linktest::RunRequest(link, {17, kFuncWriteSingle, 7, 1, -5});
  EXPECT_EQ(0, o.error) << LinkErrorText(o.error);
  EXPECT_EQ(0xFFFB, slave.map()->tab_registers[7]);
  o = linktest::RunRequest(link, {17, kFuncWriteSingle, 500, 1, 1});
  EXPECT_EQ(kErrException, o.error);
  EXPECT_EQ(MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS, o.exception);
  const int served = slave.served;
  EXPECT_EQ(2 + 1 + 3, served);  // the refused write was tried three times
  EXPECT_EQ(0, slave.badCrc);

  slave.rawEcho = true;
  o = linktest::RunRequest(link, {17, kFuncDiagnostics, 0, 0, 0});
  EXPECT_EQ(0, o.error) << "diagnostics echo with libmodbus's CRC: " << LinkErrorText(o.error);
}
