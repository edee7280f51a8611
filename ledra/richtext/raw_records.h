// Raw records (kind 1): the platform's own records, told apart by their
// signature. A raw record's content is the whole native record: signature,
// length and payload. ledcore 435 converts a native record into its
// structure under a conversion code; ledcore 2045 gives the text that
// follows the fixed part of a record (an action's formula).
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "ledra/richtext/byte_io.h"

namespace ledra::richtext {

// Signatures.
inline constexpr uint16_t kSigImageHeader = 0x99;
inline constexpr uint16_t kSigTableHeader = 0xa3;
inline constexpr uint16_t kSigTableCell = 0xa4;
inline constexpr uint16_t kSigTableEnd = 0xa5;
inline constexpr uint16_t kSigIgnoreBegin = 0xb7;
inline constexpr uint16_t kSigIgnoreEnd = 0xb9;
inline constexpr uint16_t kSigKeywordLayout = 0xffb0;
inline constexpr uint16_t kSigAction = 0xffbe;
// The data segment our image writer uses; the others are read alike.
inline constexpr uint16_t kSigImageData = 0x95;
bool IsImageDataSignature(uint16_t signature);

// Structure conversion codes of ledcore 435.
inline constexpr uint16_t kConvImageHeader = 0xa6;
inline constexpr uint16_t kConvTableHeader = 0xb0;
inline constexpr uint16_t kConvTableCell = 0xb1;
inline constexpr uint16_t kConvKeywordLayout = 0x156;
inline constexpr uint16_t kConvAction = 0x154;

// Size of the signature and length that begin every native record.
inline constexpr size_t kNativeHeaderSize = 6;

// Table flags, cell flags, action flags.
inline constexpr uint32_t kTableFitsWindow = 0x01;
inline constexpr uint16_t kCellHasBackground = 0x01;
inline constexpr uint16_t kCellNotShown = 0x04;
inline constexpr uint16_t kActionFormula = 1;
inline constexpr uint32_t kActionShowReading = 0x08;
inline constexpr uint32_t kActionShowEditing = 0x10;
inline constexpr uint32_t kActionShown = 0x80;
// How an action's formula is held: as its text, or compiled by the hook.
inline constexpr uint8_t kFormulaAsText = 0;
inline constexpr uint8_t kFormulaCompiled = 1;

struct NativeRecord {
  uint16_t signature = 0;
  ByteSpan payload;
};

// Splits a raw record's content; kRtCorrupt when it is shorter than its
// header or its length field is not the content's size.
[[nodiscard]] int SplitNativeRecord(ByteSpan raw, NativeRecord* out);
// A whole native record (signature, length, payload) into *raw.
[[nodiscard]] int BuildNativeRecord(uint16_t signature, ByteSpan payload, Bytes* raw);
// Checks a raw record: its header, and its structure when the signature
// has one.
[[nodiscard]] int ValidateRawRecord(ByteSpan raw);

struct ImageHeader {
  uint32_t width_twips = 0;
  uint32_t height_twips = 0;
  uint32_t data_length = 0;  // bytes of TIFF data in the segments
  uint16_t segment_count = 0;
  bool operator==(const ImageHeader&) const = default;
};

struct TableHeader {
  uint16_t left_margin = 0;   // twips
  uint16_t right_margin = 0;  // twips
  uint32_t flags = 0;
  bool operator==(const TableHeader&) const = default;
};

struct TableCell {
  uint16_t row = 0;
  uint32_t left_edge = 0;   // twips
  uint32_t right_edge = 0;  // twips
  uint16_t border_width = 0;
  uint16_t flags = 0;
  uint16_t column_span = 1;
  uint16_t background_colour = 0;
  bool operator==(const TableCell&) const = default;
};

struct KeywordLayout {
  uint32_t flags = 0;  // bits 25-27 plus 1: columns of check boxes and radio buttons
  int Columns() const { return static_cast<int>((flags >> 25) & 7) + 1; }
  bool operator==(const KeywordLayout&) const = default;
};

struct ActionRecord {
  uint16_t type = kActionFormula;
  uint32_t flags = 0;
  std::string title;
  uint8_t formula_form = kFormulaAsText;
  Bytes formula;  // the formula's text, or the compiled form as given
  bool operator==(const ActionRecord&) const = default;
};

using RawStructure = std::variant<ImageHeader, TableHeader, TableCell, KeywordLayout, ActionRecord>;

// Typed readers: raw is the whole native record; kRtWrongKind when its
// signature is not the structure's, kRtCorrupt when lengths disagree.
[[nodiscard]] int ReadImageHeader(ByteSpan raw, ImageHeader* out);
[[nodiscard]] int ReadTableHeader(ByteSpan raw, TableHeader* out);
[[nodiscard]] int ReadTableCell(ByteSpan raw, TableCell* out);
[[nodiscard]] int ReadKeywordLayout(ByteSpan raw, KeywordLayout* out);
[[nodiscard]] int ReadAction(ByteSpan raw, ActionRecord* out);

// Writers of whole native records into *raw.
[[nodiscard]] int WriteImageHeader(const ImageHeader& in, Bytes* raw);
[[nodiscard]] int WriteTableHeader(const TableHeader& in, Bytes* raw);
[[nodiscard]] int WriteTableCell(const TableCell& in, Bytes* raw);
[[nodiscard]] int WriteKeywordLayout(const KeywordLayout& in, Bytes* raw);
[[nodiscard]] int WriteAction(const ActionRecord& in, Bytes* raw);

// ledcore 435: reads the native record in raw as the structure of the
// conversion code. kRtUnknownConversion for another code.
[[nodiscard]] int ReadStructure(uint16_t conversion_code, ByteSpan raw, RawStructure* out);

// ledcore 2045: the text after a record's fixed part. For an action that
// is its formula as text (a compiled formula goes through the installed
// decompiler); any other record has none (kRtWrongKind).
[[nodiscard]] int TextAfterRecord(ByteSpan raw, std::string* text);

}  // namespace ledra::richtext
