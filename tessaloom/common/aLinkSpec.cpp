#include "tessaloom/common/aLinkSpec.h"

#include <new>

linkSpec* aLinkSpec_Create(uint32_t type) {
  auto* specifier = new (std::nothrow) linkSpec{};
  if (specifier != nullptr) specifier->type = type;
  return specifier;
}

linkSpec* aLinkSpec_Copy(const linkSpec* specifier) {
  if (specifier == nullptr) return nullptr;
  return new (std::nothrow) linkSpec(*specifier);
}

aErr aLinkSpec_Destroy(linkSpec** specifier) {
  if (specifier == nullptr || *specifier == nullptr) return aErrParam;
  delete *specifier;
  *specifier = nullptr;
  return aErrNone;
}
