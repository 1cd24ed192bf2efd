// Checked heap allocation and the typed arrays built on it. Every array is
// allocated for a length Len with Len + 1 elements (index 0 is never used)
// and refuses a length above its type's limit by stopping the program.
#pragma once

#include <cstdint>

#include "shortstring.h"

namespace ehi {

union ManyPointer;
struct ODAReal;
struct SODAReal;

///@{
/// A pointer type of the typed arrays; element i is p[i].
using PtrArPtr = ManyPointer*;
using CharArPtr = char*;
using ByteArPtr = uint8_t*;
using BoolArPtr = bool*;
using Str10ArPtr = String10*;
using Str80ArPtr = String80*;
using Str255ArPtr = String255*;
using IntArPtr = int16_t*;
using WrdArPtr = uint16_t*;
using LongIntArPtr = int32_t*;
using SingleArPtr = float*;
using RealArPtr = double*;
using DoubleArPtr = double*;
using ExtendedArPtr = long double*;
using ODAPtr = ODAReal*;
using SODAPtr = SODAReal*;
///@}

/// The declared index limit of the array types.
constexpr int32_t kArrayLimit = 322000;
/// The declared index limit of IntAr.
constexpr int32_t kIntArrayLimit = 1000000000;

/// One pointer that can be viewed as any typed array pointer.
union ManyPointer {
  ///@{
  /// The pointer, viewed as one of the array pointer types.
  void* Ptr;
  IntArPtr I;
  LongIntArPtr LI;
  SingleArPtr S;
  RealArPtr R;
  DoubleArPtr D;
  ExtendedArPtr E;
  Str10ArPtr St10;
  Str80ArPtr St;
  Str255ArPtr St255;
  BoolArPtr B;
  WrdArPtr W;
  ODAPtr VecP;
  SODAPtr SVecP;
  CharArPtr C;
  ByteArPtr Byt;
  PtrArPtr MPtr;
  ///@}
};
static_assert(sizeof(ManyPointer) == sizeof(void*), "one pointer");

///@{
/// An array type itself, with its declared index range.
using PtrAr = ManyPointer[kArrayLimit + 1];
using CharAr = char[kArrayLimit + 1];
using ByteAr = uint8_t[kArrayLimit + 1];
using BoolAr = bool[kArrayLimit + 1];
using Str10Ar = String10[kArrayLimit + 1];
using Str80Ar = String80[kArrayLimit + 1];
using Str255Ar = String255[kArrayLimit + 1];
using IntAr = int16_t[kIntArrayLimit + 1];
using WrdAr = uint16_t[kArrayLimit + 1];
using LongIntAr = int32_t[kArrayLimit + 1];
using SingleAr = float[kArrayLimit + 1];
using RealAr = double[kArrayLimit + 1];
using DoubleAr = double[kArrayLimit + 1];
using ExtendedAr = long double[kArrayLimit + 1];
///@}

/// Nine real arrays with a case count, for the module's users.
struct ODAReal {
  /// The number of cases (elements 1..NCases of each array).
  int32_t NCases;
  /// The arrays, used at 1..9.
  RealArPtr Data[10];
};
/// One real array with a case count, for the module's users.
struct SODAReal {
  /// The number of cases (elements 1..NCases).
  int32_t NCases;
  /// The array.
  RealArPtr Data;
};

/// Obtains a block of `NeedBytes` bytes into `NewPtr`. Returns true whenever
/// it returns: a heap that cannot grow ends the run with runtime error 203.
/// A negative count stops the program through Overload.
bool Alloc(void*& NewPtr, int32_t NeedBytes);
/// Returns the block at `NewPtr` to the heap; `NewPtr` keeps its value.
void Dealloc(void*& NewPtr, int32_t UsedBytes);

///@{
/// A typed allocator: Len + 1 elements, or a stop through Overload with the
/// allocator's name when Len is above the limit (or below -1).
bool PtrArAlloc(PtrArPtr& NewPtr, int32_t Len);
bool CharArAlloc(CharArPtr& NewPtr, int32_t Len);
bool ByteArAlloc(ByteArPtr& NewPtr, int32_t Len);
bool BoolArAlloc(BoolArPtr& NewPtr, int32_t Len);
bool Str10ArAlloc(Str10ArPtr& NewPtr, int32_t Len);
bool Str80ArAlloc(Str80ArPtr& NewPtr, int32_t Len);
bool Str255ArAlloc(Str255ArPtr& NewPtr, int32_t Len);
/// A typed allocator as the others; before the stop it also writes
/// "Requested <Len> integers but max available is 1000000000".
bool IntArAlloc(IntArPtr& NewPtr, int32_t Len);
bool WrdArAlloc(WrdArPtr& NewPtr, int32_t Len);
bool LongIntArAlloc(LongIntArPtr& NewPtr, int32_t Len);
bool SingleArAlloc(SingleArPtr& NewPtr, int32_t Len);
/// A typed allocator as the others; before the stop it also writes
/// "Requested <Len> but limit is 322000".
bool RealArAlloc(RealArPtr& NewPtr, int32_t Len);
bool DoubleArAlloc(DoubleArPtr& NewPtr, int32_t Len);
bool ExtendedArAlloc(ExtendedArPtr& NewPtr, int32_t Len);
///@}

///@{
/// A typed deallocator: releases a block obtained with the same Len.
void PtrArDealloc(PtrArPtr& NewPtr, int32_t Len);
void CharArDealloc(CharArPtr& NewPtr, int32_t Len);
void ByteArDealloc(ByteArPtr& NewPtr, int32_t Len);
void BoolArDealloc(BoolArPtr& NewPtr, int32_t Len);
void Str10ArDealloc(Str10ArPtr& NewPtr, int32_t Len);
void Str80ArDealloc(Str80ArPtr& NewPtr, int32_t Len);
void Str255ArDealloc(Str255ArPtr& NewPtr, int32_t Len);
void IntArDealloc(IntArPtr& NewPtr, int32_t Len);
void WrdArDealloc(WrdArPtr& NewPtr, int32_t Len);
void LongIntArDealloc(LongIntArPtr& NewPtr, int32_t Len);
void SingleArDealloc(SingleArPtr& NewPtr, int32_t Len);
void RealArDealloc(RealArPtr& NewPtr, int32_t Len);
void DoubleArDealloc(DoubleArPtr& NewPtr, int32_t Len);
void ExtendedArDealloc(ExtendedArPtr& NewPtr, int32_t Len);
///@}

}  // namespace ehi
