// The records of a rich-text item: kinds, the structures of the non-raw
// kinds, and their encoding. An item is a sequence of records numbered
// from 1; each has a kind and a content. Byte layouts are in
// record_format.md beside this file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "ledra/richtext/byte_io.h"

namespace ledra::richtext {

// Record kinds.
inline constexpr uint16_t kKindRaw = 1;
inline constexpr uint16_t kKindParagraphStyle = 2;
inline constexpr uint16_t kKindStyleRef = 3;
inline constexpr uint16_t kKindParagraphBreak = 4;
inline constexpr uint16_t kKindTextRun = 5;
inline constexpr uint16_t kKindLink = 6;
inline constexpr uint16_t kKindField = 12;
inline constexpr uint16_t kKindHotspotBegin = 14;
inline constexpr uint16_t kKindButton = 15;
inline constexpr uint16_t kKindHotspotEnd = 16;
inline constexpr uint16_t kKindHideWhenFormula = 17;
inline constexpr uint16_t kKindHideWhenLink = 18;
inline constexpr uint16_t kKindSection = 19;

// Paragraph style flags and alignments.
inline constexpr uint8_t kHideWhenReading = 0x10;
inline constexpr uint8_t kHideWhenEditing = 0x20;
inline constexpr uint8_t kListBullet = 0x04;
inline constexpr uint8_t kListHasHideWhen = 0x08;
inline constexpr uint8_t kListNumbered = 0x10;
inline constexpr uint8_t kAlignLeft = 0;
inline constexpr uint8_t kAlignRight = 1;
inline constexpr uint8_t kAlignFull = 2;
inline constexpr uint8_t kAlignCentre = 3;

// Font attribute bits.
inline constexpr uint8_t kFontBold = 0x01;
inline constexpr uint8_t kFontItalic = 0x02;
inline constexpr uint8_t kFontUnderline = 0x04;
inline constexpr uint8_t kFontStrike = 0x08;
inline constexpr uint8_t kFontSuperscript = 0x10;
inline constexpr uint8_t kFontSubscript = 0x20;

// Link kinds, hotspot types and flags, field data type.
inline constexpr uint16_t kLinkDocument = 1;
inline constexpr uint16_t kLinkView = 2;
inline constexpr uint16_t kLinkDatabase = 3;
inline constexpr uint16_t kHotspotButton = 3;
inline constexpr uint16_t kHotspotAttachment = 4;
inline constexpr uint16_t kHotspotLink = 11;
inline constexpr uint16_t kHotspotSubform = 14;
inline constexpr uint32_t kHotspotSubformFormula = 0x10;
inline constexpr uint16_t kFieldRichText = 7;

// Face, attribute bits, colour (the low four bits index the colour table)
// and size in points. The default font is face 1, plain, colour 0, 10 pt.
struct FontId {
  uint8_t face = 1;
  uint8_t attributes = 0;
  uint8_t colour = 0;
  uint8_t size = 10;
  bool operator==(const FontId&) const = default;
};

struct ParagraphStyle {
  uint16_t style_id = 0;
  uint8_t hide_flags = 0;
  uint8_t list_flags = 0;
  uint8_t alignment = kAlignLeft;
  uint8_t space_before = 0;
  uint8_t space_after = 0;
  uint32_t left_margin = 0;        // twips
  uint32_t first_line_margin = 0;  // twips
  bool operator==(const ParagraphStyle&) const = default;
};

struct StyleRef {
  uint16_t style_id = 0;
};

struct TextRun {
  FontId font;
  std::string text;  // a NUL is a line break inside the run
};

using ReplicaId = std::array<uint8_t, 8>;
using Unid = std::array<uint8_t, 16>;

struct Link {
  uint16_t link_kind = kLinkDocument;
  ReplicaId replica_id{};
  Unid view_unid{};
  Unid document_unid{};
  std::string text;  // the comment, a NUL and the server hint
};

struct Field {
  uint16_t data_type = 0;
  FontId font;
  std::string name;
};

struct HotspotBegin {
  uint16_t type = 0;
  uint32_t flags = 0;
  std::string text;  // file name, formula or subform name
};

struct Button {
  std::string label;
};

struct HideWhenFormula {
  uint16_t formula_id = 0;
  uint16_t style_id = 0;
  std::string formula;
};

struct HideWhenLink {
  uint16_t formula_id = 0;
  uint16_t style_id = 0;
};

struct Section {
  uint16_t flags = 0;  // bits 0 and 1: title not shown
  FontId font;
  std::string title;
};

// Decoders read a record's content. They return kRtOk, or kRtCorrupt when a
// length field disagrees with the content (nothing is read past it); *out
// is then unspecified.
[[nodiscard]] int DecodeParagraphStyle(ByteSpan content, ParagraphStyle* out);
[[nodiscard]] int DecodeStyleRef(ByteSpan content, StyleRef* out);
[[nodiscard]] int DecodeTextRun(ByteSpan content, TextRun* out);
[[nodiscard]] int DecodeLink(ByteSpan content, Link* out);
[[nodiscard]] int DecodeField(ByteSpan content, Field* out);
[[nodiscard]] int DecodeHotspotBegin(ByteSpan content, HotspotBegin* out);
[[nodiscard]] int DecodeButton(ByteSpan content, Button* out);
[[nodiscard]] int DecodeHideWhenFormula(ByteSpan content, HideWhenFormula* out);
[[nodiscard]] int DecodeHideWhenLink(ByteSpan content, HideWhenLink* out);
[[nodiscard]] int DecodeSection(ByteSpan content, Section* out);

// Encoders replace *content. They return kRtTooLarge when a text passes
// 65535 bytes.
[[nodiscard]] int EncodeParagraphStyle(const ParagraphStyle& in, Bytes* content);
[[nodiscard]] int EncodeStyleRef(const StyleRef& in, Bytes* content);
[[nodiscard]] int EncodeTextRun(const TextRun& in, Bytes* content);
[[nodiscard]] int EncodeLink(const Link& in, Bytes* content);
[[nodiscard]] int EncodeField(const Field& in, Bytes* content);
[[nodiscard]] int EncodeHotspotBegin(const HotspotBegin& in, Bytes* content);
[[nodiscard]] int EncodeButton(const Button& in, Bytes* content);
[[nodiscard]] int EncodeHideWhenFormula(const HideWhenFormula& in, Bytes* content);
[[nodiscard]] int EncodeHideWhenLink(const HideWhenLink& in, Bytes* content);
[[nodiscard]] int EncodeSection(const Section& in, Bytes* content);

// Checks the content of a record of any kind: the typed decoder for the
// kinds above, the structure reader for raw records whose signature has a
// structure. Unknown kinds and raw signatures pass.
[[nodiscard]] int ValidateRecord(uint16_t kind, ByteSpan content);

}  // namespace ledra::richtext
