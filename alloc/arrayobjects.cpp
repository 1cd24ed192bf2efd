#include "arrayobjects.h"

#include <cmath>
#include <limits>
#include <string>

#include "fatal.h"

namespace ehi {

namespace {

// The values are written to 16 digits, so the largest doubles come back a
// little beyond the double range: they read as the largest double, not as
// infinity. Infinities written as such stay infinite.
double ToDouble(long double v) {
  constexpr long double kMax = std::numeric_limits<double>::max();
  if (std::isfinite(v) && v > kMax) return std::numeric_limits<double>::max();
  if (std::isfinite(v) && v < -kMax) return -std::numeric_limits<double>::max();
  return double(v);
}

}  // namespace

ODAIntObj::ODAIntObj(int16_t PassNRows) {
  NRows = PassNRows;
  if (NRows < 0) RunAbort("Sought to create ODAIntObj with fewer than zero elements.");
  if (!IntArAlloc(X, NRows)) RunAbort("not enough RAM available.");
}

ODAIntObj::~ODAIntObj() { IntArDealloc(X, NRows); }

void ODAIntObj::Zero() {
  for (int i = 1; i <= NRows; ++i) X[i] = 0;
}

int16_t ODAIntObj::Max() const {
  if (NRows < 1) RunAbort("Sought max of 0-length ODAIntObj.");
  int16_t hold = X[1];
  for (int i = 2; i <= NRows; ++i)
    if (X[i] > hold) hold = X[i];
  return hold;
}

ODARealObj::ODARealObj(int16_t PassNRows) {
  NRows = PassNRows;
  if (NRows < 0) RunAbort("Sought to create ODARealObj with fewer than zero elements.");
  if (!RealArAlloc(X, NRows)) RunAbort("not enough RAM available.");
}

ODARealObj::~ODARealObj() { RealArDealloc(X, NRows); }

void ODARealObj::Zero() {
  for (int i = 1; i <= NRows; ++i) X[i] = 0.0;
}

double ODARealObj::Max() const {
  if (NRows < 1) RunAbort("Sought max of 0-length ODARealObj.");
  double hold = X[1];
  for (int i = 2; i <= NRows; ++i)
    if (X[i] > hold) hold = X[i];
  return hold;
}

TDARealEqObj::TDARealEqObj(int16_t PassNRows, int16_t PassNCols) {
  NRows = PassNRows;
  NCols = PassNCols;
  if (NRows < 0 || NCols < 0)
    RunAbort("Sought to create TDARealEqObj with fewer than zero rows or columns.");
  if (!PtrArAlloc(X, NRows)) RunAbort("not enough RAM available.");
  for (int r = 1; r <= NRows; ++r)
    if (!RealArAlloc(X[r].R, NCols)) RunAbort("not enough RAM available.");
}

TDARealEqObj::~TDARealEqObj() {
  for (int r = NRows; r >= 1; --r) RealArDealloc(X[r].R, NCols);
  PtrArDealloc(X, NRows);
}

void TDARealEqObj::Zero() {
  for (int r = 1; r <= NRows; ++r)
    for (int c = 1; c <= NCols; ++c) X[r].R[c] = 0.0;
}

void TDARealEqObj::ReadOneCol(TextFile& InFile, int16_t ICol) {
  if (ICol < 1 || ICol > NCols) RunAbort("ReadOneCol was given a column outside the matrix.");
  for (int r = 1; r <= NRows; ++r) {
    long double v = 0;
    ReadTextReal(InFile, v);
    CheckIo();
    X[r].R[ICol] = ToDouble(v);
    SkipTextLine(InFile);
    CheckIo();
  }
}

namespace {

// Reads the first character of a line that may be a header or comment line.
// Returns true when it is the blank that begins a data line (consumed).
// Otherwise the whole line is consumed and, when `text` is given, its text
// is returned there; an empty line yields an empty text. At the end of the
// file the scan stops: false with `atEnd` set.
bool NextLineIsData(TextFile& f, std::string* text, bool& atEnd) {
  atEnd = TextAtEnd(f);
  CheckIo();
  if (atEnd) return false;
  char first = 0;
  ReadTextChar(f, first);
  CheckIo();
  if (first == ' ') return true;
  if (text) text->clear();
  if (first == '\n') return false;
  if (first == '\r') {
    // A lone CR or CR LF: the line was empty.
    if (PeekTextChar(f) == '\n') ReadTextChar(f, first);
    CheckIo();
    return false;
  }
  String rest;
  ReadTextString(f, rest);
  SkipTextLine(f);
  CheckIo();
  // Whole, up to 256 characters: a line too long to fit is dropped, not cut.
  if (text) *text = std::string(1, first) + rest.Str();
  return false;
}

}  // namespace

void TDARealEqObj::ReadFromRpt(TextFile& InFile, String& Header) {
  Header = String();
  bool atEnd = false;
  std::string line;
  while (!NextLineIsData(InFile, &line, atEnd) && !atEnd) {
    // A header line that does not fit whole is dropped; later ones may fit.
    if (!line.empty() && line.size() + size_t(Header.Length()) <= 255)
      Header = ShortConcat(Header.View(), line);
  }
  for (int r = 1; r <= NRows; ++r) {
    if (r > 1) {
      while (!NextLineIsData(InFile, nullptr, atEnd) && !atEnd) {
      }
    }
    // At the end of the file the value reads below fail with 106.
    for (int c = 1; c <= NCols; ++c) {
      long double v = 0;
      ReadTextReal(InFile, v);
      CheckIo();
      X[r].R[c] = ToDouble(v);
    }
    SkipTextLine(InFile);
    CheckIo();
  }
}

void TDARealEqObj::WriteRow(TextFile& OutFile, int row) const {
  for (int c = 1; c <= NCols; ++c) {
    WriteTextChar(OutFile, ' ');
    WriteTextReal(OutFile, X[row].R[c]);
  }
  EndTextLine(OutFile);
  CheckIo();
}

void TDARealEqObj::WriteToRpt(TextFile& OutFile, std::string_view Header) const {
  if (!Header.empty()) WriteLine(OutFile, String(Header).View());
  for (int r = 1; r <= NRows; ++r) WriteRow(OutFile, r);
}

void TDARealEqObj::WriteRowsToRpt(TextFile& OutFile, std::string_view Header, int16_t FirstRow,
                                  int16_t LastRow) const {
  if (FirstRow <= LastRow && (FirstRow < 1 || LastRow > NRows))
    RunAbort("WriteRowsToRpt was given rows outside the matrix.");
  WriteLine(OutFile, String(Header).View());
  for (int r = FirstRow; r <= LastRow; ++r) WriteRow(OutFile, r);
}

}  // namespace ehi
