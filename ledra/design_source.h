// Design sources and document lines: the JSON that describes a database
// (title, forms with fields, views and folders with columns, agents, About
// and Using documents, documents with items and attachments), and the one-
// document-per-line form that `ledra dump` writes and `ledra load` reads.
// The format is written up in resources/designs/README.md. Parsing builds
// notes in memory and checks every value; applying writes them to a store.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ledra/note.h"
#include "ledra/note_store.h"
#include "ledra/vx_types.h"

namespace ledra {

struct PendingNote {
  Note note;
  std::vector<Attachment> attachments;
  bool replace = false;  // the line gave a UNID: an existing note of that UNID is replaced
};

struct DesignSource {
  std::string title;
  std::string default_form;  // names resolved when applied
  std::string default_view;
  std::string design_template;
  std::vector<PendingNote> notes;  // design notes first, then documents
};

struct ParseOptions {
  // Folder that "file" attachments are relative to; files are refused when
  // empty (the fuzz target parses without touching files).
  std::string base_dir;
};

// Parses a whole design source. On failure returns a status with a message
// that names the place ("forms[2].fields[0].type: ...").
[[nodiscard]] VXStatus ParseDesignSource(const std::string& text, const ParseOptions& options,
                                         DesignSource* out);
// Parses one document object (a line of `ledra dump`, or an entry of a
// design source's "documents"). where names it in messages.
[[nodiscard]] VXStatus ParseDocument(const nlohmann::ordered_json& doc, const ParseOptions& options,
                                     const std::string& where, PendingNote* out);

// Writes the notes and properties into a store (one transaction).
[[nodiscard]] VXStatus ApplyDesignSource(NoteStore* store, const DesignSource& source);
// Writes one parsed document (replacing the note of the same UNID if any).
[[nodiscard]] VXStatus ApplyDocument(NoteStore* store, PendingNote* pending);

// One note as a dump line (attachments read from the store, base64).
[[nodiscard]] VXStatus DumpNote(NoteStore* store, const Note& note, std::string* line);

std::string UnidText(const VXUnid& unid);
bool ParseUnidText(const std::string& text, VXUnid* unid);

}  // namespace ledra
