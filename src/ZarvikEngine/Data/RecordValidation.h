#ifndef ZarvikEngine_Data_RecordValidation_h
#define ZarvikEngine_Data_RecordValidation_h

/* Building blocks of the records' static validate() functions, which check a payload from
   outside the process before a view is built on it. Counts read from a payload are widened to
   64 bits before any arithmetic, so that no sum or product of them can wrap. */

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

namespace ZarvikEngine::Data::Validation {

/* A message when the payload is too small for a fixed-size header */
std::optional<std::string> checkHeaderSize(std::span<const char> payload, std::size_t headerSize);

/* A message unless a counted string index of count entries can be built on the section:
   each entry needs a zero byte of its own inside it */
std::optional<std::string> checkStrings(std::span<const char> section, std::uint64_t count);

/* The same for a section that holds exactly those strings: no byte follows the last zero */
std::optional<std::string> checkExactStrings(std::span<const char> section, std::uint64_t count);

/* A message unless the section is text whose one zero byte ends it, as a field whose size is
   the text's length plus one */
std::optional<std::string> checkText(std::span<const char> section, const char* name);

/* A message unless a fixed-size text field has its zero byte within its first limit bytes and
   only zeros after it */
std::optional<std::string> checkFixedText(std::span<const char> field, std::size_t limit,
                                          const char* name);

/* A message unless a byte read as a bool holds 0 or 1, the only values a bool may have */
std::optional<std::string> checkBool(std::uint8_t value, const char* name);

/* Payloads handed to validation may come from anywhere, so they are read without assuming
   alignment */
template<class T>
T read(const char* data) {
    T value;
    std::memcpy(static_cast<void*>(&value), data, sizeof(T));
    return value;
}

} // namespace ZarvikEngine::Data::Validation

#endif
