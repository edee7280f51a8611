// Document identities shared by the document pages, the rich-text renderer
// and the form submission: the UNID text form ("%lxg%lxg%lxg%lxg"), the
// reading of a document or form reference from a URL segment, and the
// keyword membership test of keyword fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ledra/vx_types.h"

namespace browser {

// At most 36 characters: four words of 8 hexadecimal digits and a "g" each.
inline constexpr size_t kUnidTextSize = 37;

// The UNID as four lower-case hexadecimal words without leading zeros, each
// followed by "g".
std::string UnidToText(const VXUnid& unid);
// Reads the text form; false (and *unid all zero) when the text does not
// hold four words.
bool TextToUnid(std::string_view text, VXUnid* unid);
bool IsZeroUnid(const VXUnid& unid);

// A document reference: text holding "g" is UNID text and is located in the
// database; any other text is a decimal note id (text that is no number
// reads as 0). 0 means no document.
VXNoteId NoteIdFromText(VXHandle database, std::string_view text);
// The UNID of a note (opened read-only and closed discarding); all zero
// when it cannot be opened.
VXUnid UnidOfNote(VXHandle database, VXNoteId note_id);
// A form named by name (or alias), else by NoteIdFromText; 0 when none.
VXNoteId FormFromText(VXHandle database, std::string_view text);

// The separator of a field's separator kind: ' ' for 1, ',' for 2, ';' for
// 3 to 5, '\0' (none) for any other kind.
char SeparatorOfKind(uint32_t kind);

// Keyword membership: names is a list of names joined by "|" (a keyword and
// its alias); true when one of them, less one leading and one trailing
// blank, stands in text followed by the separator of kind or by the end of
// the text. Each name is searched from the start of the text.
bool ListContains(uint32_t kind, std::string_view names, std::string_view text);

// A keyword's display text: the text before its first "|".
std::string_view KeywordDisplay(std::string_view keyword);
// A keyword's alias: the text after its last "|"; empty when it has none.
std::string_view KeywordAlias(std::string_view keyword);

// A view position handed on into page templates: the leading run of digits
// and dots of text (positions are dotted numbers; anything else a URL
// carries in that place is dropped).
std::string PositionOnly(std::string_view text);

}  // namespace browser
