#pragma once
// The link specifier: names one module and how to reach it. Discovery sends it whole, so its
// 128-byte layout (little-endian integers, IPv4 address in network order) is a wire format.
#include <cstddef>
#include <cstdint>

#include "tessaloom/common/aError.h"

enum linkType : uint32_t {
  INVALID = 0,
  USB = 1,
  TCPIP = 2,
  SERIAL = 3,
  AWEAVE = 4,
  AWEAVE_USB = 5,
  AWEAVE_TCPIP = 6,
  AWEAVE_SERIAL = 7,
};

constexpr bool isAWEAVE(uint32_t type) { return type >= AWEAVE && type <= AWEAVE_SERIAL; }

constexpr uint32_t aLINKSPEC_PORTNAME_SIZE = 100;

struct linkSpec {
  uint32_t type;
  uint32_t serialNumber;
  uint32_t module;
  uint32_t router;
  uint32_t routerSerialNumber;
  uint32_t model;
  union {
    struct {
      uint32_t usbId;
    } usb;
    struct {
      uint32_t ipAddress;  // network byte order
      uint32_t ipPort;
    } ip;
    struct {
      uint32_t baudRate;
      char portName[aLINKSPEC_PORTNAME_SIZE];
    } serial;
    uint8_t raw[104];
  } t;
};
static_assert(sizeof(linkSpec) == 128, "linkSpec is a 128-byte wire record");
static_assert(offsetof(linkSpec, t) == 24);

linkSpec* aLinkSpec_Create(uint32_t type);
linkSpec* aLinkSpec_Copy(const linkSpec* specifier);
aErr aLinkSpec_Destroy(linkSpec** specifier);
