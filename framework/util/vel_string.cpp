#include "framework/util/vel_string.h"

#include <limits>
#include <stdexcept>

namespace kes {

namespace {
constexpr std::u16string_view kCrLf = u"\r\n";
}  // namespace

VelString::VelString() {
  WipeString();
}

void VelString::WipeString() {
  buffer_.clear();
  buffer_.shrink_to_fit();
  capacity_ = 0;
  length_ = 0;
  chunk_ = kChunk;
  has_content_ = false;
}

void VelString::Append(std::u16string_view text) {
  if (text.empty()) return;
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::int64_t added = static_cast<std::int64_t>(text.size());
  const std::int64_t needed = length_ + added;
  if (needed > kMax) throw std::length_error("Vel_String would exceed 2^31-1 characters");
  if (needed > capacity_) {
    // One step always suffices, and the capacity stays a whole number of chunks.
    const std::int64_t grow = chunk_ * ((needed - capacity_) / chunk_ + 1);
    if (capacity_ + grow > kMax)
      throw std::length_error("Vel_String would exceed 2^31-1 characters");
    buffer_.resize(static_cast<std::size_t>(capacity_ + grow), u' ');
    capacity_ = static_cast<std::int32_t>(capacity_ + grow);
  }
  buffer_.replace(static_cast<std::size_t>(length_), text.size(), text);
  length_ = static_cast<std::int32_t>(needed);
}

void VelString::Add(std::u16string_view add_string) {
  if (add_string.empty()) return;
  Append(add_string);
  has_content_ = true;
}

void VelString::AddNewLine(std::u16string_view add_string) {
  if (length_ > 0) {
    std::u16string line;
    line.reserve(kCrLf.size() + add_string.size());
    line.append(kCrLf).append(add_string);
    Append(line);
  } else {
    Append(add_string);
  }
  if (length_ > 0) has_content_ = true;
}

void VelString::AddLine(std::u16string_view add_string) {
  if (add_string.empty()) {
    Add(kCrLf);
  } else if (has_content_) {
    std::u16string line;
    line.reserve(kCrLf.size() + add_string.size());
    line.append(kCrLf).append(add_string);
    Add(line);
  } else {
    Add(add_string);
  }
}

std::u16string VelString::GetStr() const {
  return buffer_.substr(0, static_cast<std::size_t>(length_));
}

void VelString::CleanUp() {
  WipeString();
  initialised_ = false;
}

}  // namespace kes
