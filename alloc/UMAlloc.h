// UMAlloc: fatal stops, checked typed arrays, array sorts, array objects
// with report files, and the markable string list.
#pragma once

#include "arrayobjects.h"
#include "arraysort.h"
#include "fatal.h"
#include "stringlist.h"
#include "typedarrays.h"
