#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "tessaloom/common/aCOBS.h"
#include "tessaloom/unix/aSerialStream.h"

namespace {

// A pseudo-terminal standing in for a serial port: the stream opens the slave by name, the
// test plays the device on the master.
struct Pty {
  Pty() {
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
    path = name;
  }
  ~Pty() {
    close(master);
    close(slave);  // kept open so the master never reads EIO while the stream is closed
  }
  std::string ReadMaster(size_t n, int ms = 3000) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      char buffer[256];
      const ssize_t got = read(master, buffer, std::min(sizeof buffer, n - out.size()));
      if (got > 0) out.append(buffer, static_cast<size_t>(got));
    }
    return out;
  }
  void WriteMaster(const std::string& bytes) const {
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  int master = -1;
  int slave = -1;
  std::string path;
};

std::string read_stream(aStreamRef s, size_t n, int ms = 3000) {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
    uint8_t b;
    if (aStream_Read(s, &b, 1) == aErrNone)
      out.push_back(static_cast<char>(b));
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return out;
}

}  // namespace

TEST(SerialStream, RefusesBadArguments) {
  aStreamRef s = reinterpret_cast<aStreamRef>(0x1);
  EXPECT_EQ(aStream_CreateSerial("/dev/no-such-port", 6, false, 0, 0, &s), aErrNotFound);
  EXPECT_EQ(s, nullptr);
  Pty pty;
  EXPECT_EQ(aStream_CreateSerial(pty.path.c_str(), 8, false, 0, 0, &s), aErrParam);
  EXPECT_EQ(aStream_CreateSerial(pty.path.c_str(), 0xFFFFFFFF, false, 0, 0, &s), aErrParam);
  EXPECT_EQ(aStream_CreateSerial(std::string(4096, 'a').c_str(), 6, false, 0, 0, &s), aErrFileNameLength);
  EXPECT_EQ(aStream_CreateSerial(pty.path.c_str(), 6, false, 2, 0, &s), aErrResource);
  EXPECT_EQ(aStream_CreateSerial(pty.path.c_str(), 6, false, 0, 2, &s), aErrResource);
  EXPECT_EQ(aStream_CreateSerial(nullptr, 6, false, 0, 0, &s), aErrResource);
  EXPECT_EQ(aStream_CreateSerial_Packetized(pty.path.c_str(), 9, false, 0, 0, &s), aErrParam);
  EXPECT_EQ(s, nullptr);
}

TEST(SerialStream, RawBytesBothWaysAtEveryRate) {
  const speed_t speeds[8] = {B2400, B4800, B9600, B19200, B38400, B57600, B115200, B230400};
  for (uint32_t index = 0; index < 8; ++index) {
    Pty pty;
    aStreamRef s = nullptr;
    ASSERT_EQ(aStream_CreateSerial(pty.path.c_str(), index, false, 0, 0, &s), aErrNone) << index;
    termios t{};
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speeds[index]) << index;
    EXPECT_EQ(t.c_lflag, 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    uint8_t b;
    EXPECT_EQ(aStream_Read(s, &b, 1), aErrNotReady);  // never blocks
    EXPECT_EQ(aStream_Write(s, reinterpret_cast<const uint8_t*>("?\r\n"), 3), aErrNone);
    EXPECT_EQ(pty.ReadMaster(3), "?\r\n");
    pty.WriteMaster("Synchronized\r\n");
    EXPECT_EQ(read_stream(s, 14), "Synchronized\r\n");
    aStream_Destroy(&s);
  }
}

TEST(SerialStream, OtherFrameFormats) {
  Pty pty;
  aStreamRef s = nullptr;
  ASSERT_EQ(aStream_CreateSerial(pty.path.c_str(), 2, true, 1, 1, &s), aErrNone);
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
  // A pseudo-terminal keeps its own character size and parity bits; what it does keep shows
  // that the selectors arrived.
  EXPECT_EQ(t.c_cflag & PARODD, 0u);
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_NE(t.c_iflag & IGNPAR, 0u);
  aStream_Destroy(&s);
}

TEST(SerialStream, DeleteRestoresTheTerminalSettings) {
  Pty pty;
  termios before{};
  ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
  before.c_lflag |= ICANON | ECHO;
  cfsetospeed(&before, B9600);
  cfsetispeed(&before, B9600);
  ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &before), 0);
  ASSERT_EQ(tcgetattr(pty.slave, &before), 0);

  aStreamRef s = nullptr;
  ASSERT_EQ(aStream_CreateSerial(pty.path.c_str(), 7, false, 0, 0, &s), aErrNone);
  termios during{};
  tcgetattr(pty.slave, &during);
  EXPECT_NE(during.c_lflag, before.c_lflag);
  EXPECT_EQ(aStream_Destroy(&s), aErrNone);

  termios after{};
  ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
}

TEST(SerialStream, PacketizedPortFramesEachPacket) {
  Pty pty;
  aStreamRef s = nullptr;
  ASSERT_EQ(aStream_CreateSerial_Packetized(pty.path.c_str(), 6, false, 0, 0, &s), aErrNone);
  const uint8_t packet[4] = {0x11, 0x02, 0x00, 0x33};
  EXPECT_EQ(aStream_Write(s, packet, 4), aErrNone);
  EXPECT_EQ(pty.ReadMaster(7), std::string("\x03\x11\x02\x03\x33\xA4\x00", 7));

  pty.WriteMaster(std::string("\x03\x11\x02\x03\x33\xA4\x00", 7));
  EXPECT_EQ(read_stream(s, 4), std::string("\x11\x02\x00\x33", 4));
  EXPECT_EQ(aStream_Destroy(&s), aErrNone);
}
