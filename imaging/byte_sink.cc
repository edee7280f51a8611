// Byte sink writes to a file or to memory.
#include "imaging/byte_sink.h"

#include <new>

namespace imaging {

void ByteSink::Write(const void* bytes, size_t size) {
  if (failed_ || size == 0) return;
  if (file_) {
    if (std::fwrite(bytes, 1, size, file_) != size) failed_ = true;
    return;
  }
  const auto* p = static_cast<const uint8_t*>(bytes);
  try {
    memory_->insert(memory_->end(), p, p + size);
  } catch (const std::bad_alloc&) {
    failed_ = true;
  }
}

}  // namespace imaging
