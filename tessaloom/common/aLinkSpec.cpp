#include "tessaloom/common/aLinkSpec.h"

#include <new>

linkSpec* aLinkSpec_Create(uint32_t type) {
  auto* spec = new (std::nothrow) linkSpec{};
  if (spec != nullptr) spec->type = type;
  return spec;
}

linkSpec* aLinkSpec_Copy(const linkSpec* spec) {
  if (spec == nullptr) return nullptr;
  return new (std::nothrow) linkSpec(*spec);
}

aErr aLinkSpec_Destroy(linkSpec** spec) {
  if (spec == nullptr || *spec == nullptr) return aErrParam;
  delete *spec;
  *spec = nullptr;
  return aErrNone;
}
