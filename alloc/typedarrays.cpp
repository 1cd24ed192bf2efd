#include "typedarrays.h"

#include <cstdlib>

#include "fatal.h"
#include "numconv.h"
#include "process.h"
#include "textfile.h"

namespace ehi {

namespace {

// Byte counts are 64-bit so that no count can wrap; the heap stop is the
// same as for any other allocation of the program.
void* HeapBlock(int64_t bytes) {
  void* p = std::malloc(size_t(bytes > 0 ? bytes : 1));
  if (!p) RuntimeError(203);
  return p;
}

template <class T>
bool TypedAlloc(T*& NewPtr, int32_t Len, int32_t limit, const char* name) {
  if (Len > limit || Len < -1) Overload(name);
  NewPtr = static_cast<T*>(HeapBlock((int64_t(Len) + 1) * int64_t(sizeof(T))));
  return true;
}

template <class T>
void TypedDealloc(T*& NewPtr, int32_t) {
  std::free(NewPtr);
}

void RequestLine(int32_t len, const char* middle, int32_t limit) {
  WriteTextString(ConsoleOutput, "Requested ");
  WriteTextInteger(ConsoleOutput, len, 0);
  WriteTextString(ConsoleOutput, middle);
  WriteTextInteger(ConsoleOutput, limit, 0);
  EndTextLine(ConsoleOutput);
  CheckIo();
}

}  // namespace

bool Alloc(void*& NewPtr, int32_t NeedBytes) {
  if (NeedBytes < 0) Overload("Alloc");
  NewPtr = HeapBlock(NeedBytes);
  return true;
}

void Dealloc(void*& NewPtr, int32_t) { std::free(NewPtr); }

#define EHI_TYPED_ARRAY(Name, PtrType, Limit)                                         \
  bool Name##Alloc(PtrType& NewPtr, int32_t Len) {                                    \
    return TypedAlloc(NewPtr, Len, Limit, #Name "Alloc");                             \
  }                                                                                   \
  void Name##Dealloc(PtrType& NewPtr, int32_t Len) { TypedDealloc(NewPtr, Len); }

EHI_TYPED_ARRAY(PtrAr, PtrArPtr, kArrayLimit)
EHI_TYPED_ARRAY(CharAr, CharArPtr, kArrayLimit)
EHI_TYPED_ARRAY(ByteAr, ByteArPtr, kArrayLimit)
EHI_TYPED_ARRAY(BoolAr, BoolArPtr, kArrayLimit)
EHI_TYPED_ARRAY(Str10Ar, Str10ArPtr, kArrayLimit)
EHI_TYPED_ARRAY(Str80Ar, Str80ArPtr, kArrayLimit)
EHI_TYPED_ARRAY(Str255Ar, Str255ArPtr, kArrayLimit)
EHI_TYPED_ARRAY(WrdAr, WrdArPtr, kArrayLimit)
EHI_TYPED_ARRAY(LongIntAr, LongIntArPtr, kArrayLimit)
EHI_TYPED_ARRAY(SingleAr, SingleArPtr, kArrayLimit)
EHI_TYPED_ARRAY(DoubleAr, DoubleArPtr, kArrayLimit)
EHI_TYPED_ARRAY(ExtendedAr, ExtendedArPtr, kArrayLimit)
#undef EHI_TYPED_ARRAY

bool IntArAlloc(IntArPtr& NewPtr, int32_t Len) {
  if (Len > kIntArrayLimit)
    RequestLine(Len, " integers but max available is ", kIntArrayLimit);
  return TypedAlloc(NewPtr, Len, kIntArrayLimit, "IntArAlloc");
}
void IntArDealloc(IntArPtr& NewPtr, int32_t Len) { TypedDealloc(NewPtr, Len); }

bool RealArAlloc(RealArPtr& NewPtr, int32_t Len) {
  if (Len > kArrayLimit) RequestLine(Len, " but limit is ", kArrayLimit);
  return TypedAlloc(NewPtr, Len, kArrayLimit, "RealArAlloc");
}
void RealArDealloc(RealArPtr& NewPtr, int32_t Len) { TypedDealloc(NewPtr, Len); }

}  // namespace ehi
