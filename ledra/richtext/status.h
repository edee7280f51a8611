// Status codes of the rich-text services. 0 is success, as for every
// platform call; the failures sit in a block of their own so that the
// document store can hand them on unchanged and VXErrorFetch can name them.
#pragma once

#include <cstdint>

namespace ledra::richtext {

inline constexpr int kRtOk = 0;
// The item's bytes do not form a sequence of whole records, or a record's
// content disagrees with its own length fields.
inline constexpr int kRtCorrupt = static_cast<int>(0x80000A01u);
// A record number outside 1..count.
inline constexpr int kRtNoSuchRecord = static_cast<int>(0x80000A02u);
// The record is not of the kind (or raw signature) the caller asked for.
inline constexpr int kRtWrongKind = static_cast<int>(0x80000A03u);
// A structure conversion code that ledcore 435 does not know.
inline constexpr int kRtUnknownConversion = static_cast<int>(0x80000A04u);
// A value does not fit its field (a text longer than 65535 bytes, ...).
inline constexpr int kRtTooLarge = static_cast<int>(0x80000A05u);
// A file could not be read or written.
inline constexpr int kRtFileError = static_cast<int>(0x80000A06u);
// The markup could not be parsed; the parser's message says where.
inline constexpr int kRtBadMarkup = static_cast<int>(0x80000A07u);
// A compiled formula met with no decompiler installed, or the formula
// hook reported a failure.
inline constexpr int kRtFormulaHook = static_cast<int>(0x80000A08u);
// Image data that is not a TIFF stream, or an image stream file that the
// add-in cannot read.
inline constexpr int kRtBadImage = static_cast<int>(0x80000A09u);

// A short English text for a status, for error messages.
const char* RtStatusText(int status);

}  // namespace ledra::richtext
