// Vel_String: the string builder used wherever large texts are assembled line by line (the
// environment dump, reading a file line by line). Appending writes into spare capacity; the
// buffer grows only in whole chunks of 1000 characters, so assembling a long text costs a
// handful of reallocations instead of one per line. Untraced: it sits under traced callers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/debug/class_sync.h"

namespace kes {

class VelString : public AppClassSync {
 public:
  static constexpr std::int32_t kChunk = 1000;

  // A new builder is initialised and empty (capacity 0, chunk 1000).
  VelString();

  // Empties the builder: buffer "", capacity 0, length 0, chunk 1000, has-content cleared.
  // Never fails.
  void WipeString();
  // Appends CR LF and then the text when the builder already holds characters, otherwise the
  // text alone (an empty text on an empty builder adds nothing). Throws std::length_error, and
  // leaves the builder unchanged, when the result would exceed 2^31-1 characters.
  void AddNewLine(std::u16string_view add_string);
  // An empty or missing text appends CR LF; otherwise CR LF and the text once anything
  // non-empty was added before, else the text alone. Failure as for Add.
  void AddLine(std::u16string_view add_string = {});
  // Appends the text (nothing for an empty one) and marks the builder as having content.
  // Throws std::length_error, and leaves the builder unchanged, when the result would exceed
  // 2^31-1 characters; the traced caller's step logs it.
  void Add(std::u16string_view add_string);
  // The text assembled so far (the first `length` characters of the buffer). Never fails.
  std::u16string GetStr() const;
  // App_ClassSync clean-up on release: drops the text and clears the initialised flag. Never
  // fails.
  void CleanUp() override;

  bool Initialised() const { return initialised_; }
  std::int32_t Chunk() const { return chunk_; }
  std::int32_t Capacity() const { return capacity_; }
  std::int32_t Length() const { return length_; }
  bool HasContent() const { return has_content_; }

 private:
  // Grows in whole chunks when needed and writes the text at the end; the has-content flag
  // is the caller's business.
  void Append(std::u16string_view text);

  bool initialised_ = true;
  std::int32_t chunk_ = kChunk;
  std::int32_t capacity_ = 0;
  std::int32_t length_ = 0;
  bool has_content_ = false;
  std::u16string buffer_;  // capacity_ characters; blanks past length_
};

}  // namespace kes
