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

void RequestLine(int32_t len, const char* middle, int32_t limit) {
  WriteTextString(ConsoleOutput, "Requested ");
  WriteTextInteger(ConsoleOutput, len, 0);
  WriteTextString(ConsoleOutput, middle);
  WriteTextInteger(ConsoleOutput, limit, 0);
  EndTextLine(ConsoleOutput);
  CheckIo();
}

// `middle`, when given, makes the line "Requested <Len><middle><limit>" that
// two members write before their stop.
template <class T>
bool TypedAlloc(T*& NewPtr, int32_t Len, int32_t limit, const char* name, const char* middle) {
  if (Len > limit && middle) RequestLine(Len, middle, limit);
  if (Len > limit || Len < -1) Overload(name);
  NewPtr = static_cast<T*>(HeapBlock((int64_t(Len) + 1) * int64_t(sizeof(T))));
  return true;
}

template <class T>
void TypedDealloc(T*& NewPtr, int32_t) {
  std::free(NewPtr);
}

}  // namespace

bool Alloc(void*& NewPtr, int32_t NeedBytes) {
  if (NeedBytes < 0) Overload("Alloc");
  NewPtr = HeapBlock(NeedBytes);
  return true;
}

void Dealloc(void*& NewPtr, int32_t) { std::free(NewPtr); }

#define EHI_TYPED_ARRAY(Name, PtrType, Limit, Line)                                   \
  bool Name##Alloc(PtrType& NewPtr, int32_t Len) {                                    \
    return TypedAlloc(NewPtr, Len, Limit, #Name "Alloc", Line);                       \
  }                                                                                   \
  void Name##Dealloc(PtrType& NewPtr, int32_t Len) { TypedDealloc(NewPtr, Len); }

EHI_TYPED_ARRAY(PtrAr, PtrArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(CharAr, CharArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(ByteAr, ByteArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(BoolAr, BoolArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(Str10Ar, Str10ArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(Str80Ar, Str80ArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(Str255Ar, Str255ArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(IntAr, IntArPtr, kIntArrayLimit, " integers but max available is ")
EHI_TYPED_ARRAY(WrdAr, WrdArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(LongIntAr, LongIntArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(SingleAr, SingleArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(RealAr, RealArPtr, kArrayLimit, " but limit is ")
EHI_TYPED_ARRAY(DoubleAr, DoubleArPtr, kArrayLimit, nullptr)
EHI_TYPED_ARRAY(ExtendedAr, ExtendedArPtr, kArrayLimit, nullptr)
#undef EHI_TYPED_ARRAY

}  // namespace ehi
