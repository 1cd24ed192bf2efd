// The numbers the system shares with its users and its callers: runtime
// error numbers (they are exit statuses too) and the attribute bits of
// directory entries. Every use names them from here.
#pragma once

#include <cstdint>

namespace ehi {

/// Runtime error numbers, as the report and the exit status give them.
namespace rte {
/// File not found.
constexpr int kFileNotFound = 2;
/// Path not found: a folder on the way is missing, or the path is too long.
constexpr int kPathNotFound = 3;
/// Too many open files.
constexpr int kTooManyOpenFiles = 4;
/// Access denied (also a read-only file to be written, or a refused link).
constexpr int kAccessDenied = 5;
/// The directory search could not start with the mask it was given (the
/// system's "invalid parameter").
constexpr int kInvalidSearch = 13;
/// Not an error of a file statement: the directory search has no more
/// entries.
constexpr int kNoMoreFiles = 18;
/// A device error on reading (also an error the platform names no closer).
constexpr int kDiskRead = 100;
/// A device error on writing: a full disk, a file-size limit, a quota.
constexpr int kDiskWrite = 101;
/// A text file used before a name was assigned to it.
constexpr int kFileNotAssigned = 102;
/// A text file used while closed.
constexpr int kFileNotOpen = 103;
/// A text file read that is open for writing.
constexpr int kFileNotOpenForInput = 104;
/// A text file written that is open for reading.
constexpr int kFileNotOpenForOutput = 105;
/// Text read as a number is no number.
constexpr int kInvalidNumber = 106;
/// The disk is write-protected (a read-only file system).
constexpr int kDiskWriteProtected = 150;
/// A name the system cannot hold: on Windows, bytes that are no UTF-8.
constexpr int kInvalidName = 123;
/// The heap cannot satisfy an allocation.
constexpr int kHeapExhausted = 203;
}  // namespace rte

/// The exit status of a program whose terminal went away (as a hang-up
/// signal would end it: 128 + 1).
constexpr int kHangUpStatus = 129;

///@{
/// An attribute bit of a directory entry.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrVolume = 0x08;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
///@}
/// The bits that make a search pass over an entry unless it asks for them.
constexpr uint32_t kAttrSearchExcludable = kAttrHidden | kAttrSystem | kAttrVolume | kAttrDirectory;
/// A listing's allowed attributes for plain files: every bit but the
/// excludable ones.
constexpr uint16_t kFileAttrMask = uint16_t(0xFFFF & ~kAttrSearchExcludable);
/// A listing's allowed attributes for everything.
constexpr uint16_t kDirAttrMask = 0xFFFF;
static_assert(kFileAttrMask == 65505);

}  // namespace ehi
