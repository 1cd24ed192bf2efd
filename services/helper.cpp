#include "helper.h"

namespace ehi {

namespace {

thread_local int helperDepth = 0;
thread_local int holdsShared = 0;

}  // namespace

bool OnHelperThread() { return helperDepth > 0; }

HelperScope::HelperScope() { ++helperDepth; }
HelperScope::~HelperScope() { --helperDepth; }

SharedHold::SharedHold(std::mutex& m) : lock_(m) { ++holdsShared; }

SharedHold::~SharedHold() {
  if (lock_.owns_lock()) --holdsShared;
}

void SharedHold::Unlock() {
  lock_.unlock();
  --holdsShared;
}

bool AllocationForbiddenHere() { return holdsShared > 0; }

}  // namespace ehi
