// Arrays that carry their length: one-dimensional integer and real arrays,
// and a real matrix that reads and writes report ("Rpt") files.
//
// A report file holds header lines (any line whose first character is not a
// blank), then one data line per matrix row: each value as a blank followed
// by its 23-character real form. Lines that do not begin with a blank may
// stand between data lines; the reader skips them.
#pragma once

#include <cstdint>

#include "shortstring.h"
#include "textfile.h"
#include "typedarrays.h"

namespace ehi {

/// A one-dimensional array of signed 16-bit integers, X[1..NRows].
class ODAIntObj {
 public:
  /// The number of elements.
  int16_t NRows = 0;
  /// The elements, X[1..NRows].
  IntArPtr X = nullptr;

  /// Allocates NRows elements (not initialised); a negative count stops.
  explicit ODAIntObj(int16_t PassNRows);
  ~ODAIntObj();
  ODAIntObj(const ODAIntObj&) = delete;
  ODAIntObj& operator=(const ODAIntObj&) = delete;

  /// Sets every element to 0.
  void Zero();
  /// The largest element; stops when there is none.
  int16_t Max() const;
};

/// A one-dimensional array of 64-bit reals, X[1..NRows].
class ODARealObj {
 public:
  /// The number of elements.
  int16_t NRows = 0;
  /// The elements, X[1..NRows].
  RealArPtr X = nullptr;

  /// Allocates NRows elements (not initialised); a negative count stops.
  explicit ODARealObj(int16_t PassNRows);
  ~ODARealObj();
  ODARealObj(const ODARealObj&) = delete;
  ODARealObj& operator=(const ODARealObj&) = delete;

  /// Sets every element to 0.0.
  void Zero();
  /// The largest element; stops when there is none.
  double Max() const;
};

/// A real matrix with NRows rows of NCols values: row i is X[i].R[1..NCols].
class TDARealEqObj {
 public:
  /// The number of rows.
  int16_t NRows = 0;
  /// The number of values in each row.
  int16_t NCols = 0;
  /// The rows: row i is X[i].R[1..NCols].
  PtrArPtr X = nullptr;

  /// Allocates the row table and the rows; negative counts stop.
  TDARealEqObj(int16_t PassNRows, int16_t PassNCols);
  ~TDARealEqObj();
  TDARealEqObj(const TDARealEqObj&) = delete;
  TDARealEqObj& operator=(const TDARealEqObj&) = delete;

  /// Sets every element to 0.0.
  void Zero();
  /// For each row, reads the first value from the current position into
  /// column ICol, then skips the rest of that line.
  void ReadOneCol(TextFile& InFile, int16_t ICol);
  /// Reads a report file: the joined header lines into Header, then the rows.
  void ReadFromRpt(TextFile& InFile, String& Header);
  /// Writes Header (when not empty) and every row.
  void WriteToRpt(TextFile& OutFile, std::string_view Header) const;
  /// Writes Header (always, even empty) and rows FirstRow..LastRow.
  void WriteRowsToRpt(TextFile& OutFile, std::string_view Header, int16_t FirstRow,
                      int16_t LastRow) const;

 private:
  void WriteRow(TextFile& OutFile, int row) const;
};

}  // namespace ehi
