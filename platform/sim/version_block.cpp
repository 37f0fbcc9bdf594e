#include "platform/sim/version_block.h"

#include <cstring>

#include "platform/base/u16.h"

namespace kes::sim {
namespace {

// Layout: magic, bytes present, VS_FIXEDFILEINFO, translation (two WORDs), string count, then
// per string: name length, name + NUL, value length, value + NUL (lengths in characters).
// Every field sits at an even offset; 32-bit fields are read with memcpy.
constexpr std::uint32_t kMagic = 0x5653454Bu;  // "KESV"
constexpr std::size_t kLengthOffset = 4;
constexpr std::size_t kFixedOffset = 8;
constexpr std::size_t kTranslationOffset = kFixedOffset + sizeof(platform::VS_FIXEDFILEINFO);
constexpr std::size_t kCountOffset = kTranslationOffset + 4;
constexpr std::size_t kStringsOffset = kCountOffset + 4;
constexpr platform::WORD kLanguage = 0x0409;
constexpr platform::WORD kCodePage = 0x04B0;

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  const auto at = b.size();
  b.resize(at + 4);
  std::memcpy(b.data() + at, &v, 4);
}

void PutText(std::vector<std::uint8_t>& b, std::u16string_view s) {
  Put32(b, static_cast<std::uint32_t>(s.size()));
  const auto at = b.size();
  b.resize(at + (s.size() + 1) * 2, 0);
  std::memcpy(b.data() + at, s.data(), s.size() * 2);
}

std::uint32_t Get32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  std::memcpy(&v, p, 4);
  return v;
}

// "1.2.3.4" into the two version double words; missing or bad parts count as 0.
void ParseVersion(const std::u16string& text, platform::DWORD* ms, platform::DWORD* ls) {
  platform::DWORD part[4] = {0, 0, 0, 0};
  int i = 0;
  for (char16_t c : text) {
    if (c == u'.') {
      if (++i == 4) break;
    } else if (c >= u'0' && c <= u'9') {
      part[i] = (part[i] * 10 + (c - u'0')) & 0xFFFF;
    }
  }
  *ms = part[0] << 16 | part[1];
  *ls = part[2] << 16 | part[3];
}

}  // namespace

std::vector<std::uint8_t> BuildVersionBlock(
    const std::map<std::u16string, std::u16string>& strings) {
  platform::VS_FIXEDFILEINFO fixed;
  fixed.dwSignature = 0xFEEF04BDu;
  fixed.dwStrucVersion = 0x00010000u;
  fixed.dwFileFlagsMask = 0x3F;
  fixed.dwFileOS = 0x00040004u;  // VOS_NT_WINDOWS32
  fixed.dwFileType = 1;          // VFT_APP
  const auto find = [&](const char16_t* name) {
    for (const auto& [k, v] : strings)
      if (EqualsNoCase(k, name)) return v;
    return std::u16string();
  };
  ParseVersion(find(u"FileVersion"), &fixed.dwFileVersionMS, &fixed.dwFileVersionLS);
  ParseVersion(find(u"ProductVersion"), &fixed.dwProductVersionMS, &fixed.dwProductVersionLS);

  std::vector<std::uint8_t> b;
  Put32(b, kMagic);
  Put32(b, 0);
  b.resize(kTranslationOffset);
  std::memcpy(b.data() + kFixedOffset, &fixed, sizeof fixed);
  Put32(b, static_cast<std::uint32_t>(kLanguage) | static_cast<std::uint32_t>(kCodePage) << 16);
  Put32(b, static_cast<std::uint32_t>(strings.size()));
  for (const auto& [name, value] : strings) {
    PutText(b, name);
    PutText(b, value);
  }
  const auto total = static_cast<std::uint32_t>(b.size());
  std::memcpy(b.data() + kLengthOffset, &total, 4);
  return b;
}

void SetVersionBlockLength(void* block, std::uint32_t length) {
  if (length >= kLengthOffset + 4)
    std::memcpy(static_cast<std::uint8_t*>(block) + kLengthOffset, &length, 4);
}

bool QueryVersionBlock(const void* block, std::u16string_view sub_block, const void** buffer,
                       platform::UINT* len) {
  const auto* b = static_cast<const std::uint8_t*>(block);
  if (!b || Get32(b) != kMagic) return false;
  const std::uint32_t size = Get32(b + kLengthOffset);
  if (sub_block.empty() || sub_block == u"\\") {
    if (size < kTranslationOffset) return false;
    *buffer = b + kFixedOffset;
    *len = sizeof(platform::VS_FIXEDFILEINFO);
    return true;
  }
  if (EqualsNoCase(sub_block, u"\\VarFileInfo\\Translation")) {
    if (size < kCountOffset) return false;
    *buffer = b + kTranslationOffset;
    *len = 4;
    return true;
  }
  constexpr std::u16string_view kStringRoot = u"\\StringFileInfo\\040904B0\\";
  if (sub_block.size() <= kStringRoot.size() ||
      !EqualsNoCase(sub_block.substr(0, kStringRoot.size()), kStringRoot) || size < kStringsOffset)
    return false;
  const std::u16string_view wanted = sub_block.substr(kStringRoot.size());
  std::size_t at = kStringsOffset;
  const std::uint32_t count = Get32(b + kCountOffset);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (at + 4 > size) return false;
    const std::uint32_t name_len = Get32(b + at);
    const std::size_t name_at = at + 4;
    const std::size_t value_len_at = name_at + (name_len + 1) * 2;
    if (value_len_at + 4 > size) return false;
    const std::uint32_t value_len = Get32(b + value_len_at);
    const std::size_t value_at = value_len_at + 4;
    const std::size_t next = value_at + (value_len + 1) * 2;
    if (next > size) return false;
    std::u16string name(name_len, u'\0');
    std::memcpy(name.data(), b + name_at, name_len * 2);
    if (EqualsNoCase(name, wanted)) {
      *buffer = b + value_at;
      *len = value_len + 1;
      return true;
    }
    at = next;
  }
  return false;
}

}  // namespace kes::sim
