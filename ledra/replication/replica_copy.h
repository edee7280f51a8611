// The notes of a new replica: what VXDatabaseCopy does with option 0x100.
// Every note keeps its UNID, times and revisions, and the new replica
// records that it holds everything of the source through the source's
// current sequence, so that its first replication moves only what changed
// after the copy.
#pragma once

#include <cstdint>
#include <string>

#include "ledra/note_store.h"
#include "ledra/vx_types.h"

namespace ledra::replication {

// Copies the notes of the copy options' classes (0x001 documents, 0x002
// design notes of class_mask, 0 every design class) from `source`
// (server!!path) into the new, empty `target`, in one transaction.
// Replication formulas and deletion stubs are not copied.
[[nodiscard]] VXStatus CopyReplicaNotes(NoteStore* source, NoteStore* target, uint32_t options,
                                        uint32_t class_mask, const std::string& source_server,
                                        const std::string& source_path);

}  // namespace ledra::replication
