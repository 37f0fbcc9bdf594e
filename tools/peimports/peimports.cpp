// Test helper: lists what a Windows exe (PE32 or PE32+) imports, from its import table and from
// its delay-import table, one function a line: "import|delay <dll> <function>" (a function
// imported by ordinal prints as "#N"; a delay import whose address slot is empty prints as
// "delay-nostub"). Portable host C++17.
//
// GNU ld links the delay-import descriptors that dlltool's delay libraries carry but leaves the
// delay-import data directory empty; the descriptors are then found by their shape (RVA-based,
// a readable "*.dll" name, name and address tables inside the image, the bound and unload
// tables and the time stamp zero).
//
//   peimports <file.exe>
//
// Exits 1, saying why, when the file is not a PE image it can read.
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

class Image {
 public:
  explicit Image(std::vector<unsigned char> bytes) : b_(std::move(bytes)) {
    const std::uint32_t pe = U32(0x3C);
    if (U16(0) != 0x5A4D || U32(pe) != 0x00004550) throw std::runtime_error("not a PE image");
    const std::uint32_t coff = pe + 4;
    const unsigned sections = U16(coff + 2);
    const std::uint32_t optional = coff + 20;
    const unsigned magic = U16(optional);
    if (magic != 0x10B && magic != 0x20B) throw std::runtime_error("unknown optional header");
    wide_ = magic == 0x20B;
    image_base_ = wide_ ? U64(optional + 24) : U32(optional + 28);
    directories_ = optional + (wide_ ? 112 : 96);
    std::uint32_t s = optional + U16(coff + 16);
    for (unsigned i = 0; i < sections; ++i, s += 40)
      sections_.push_back({U32(s + 12), U32(s + 8), U32(s + 20), U32(s + 16)});
  }

  bool wide() const { return wide_; }
  std::uint64_t image_base() const { return image_base_; }
  // The RVA and size of data directory `index` (1 imports, 13 delay imports).
  std::uint32_t DirectoryRva(unsigned index) const { return U32(directories_ + 8 * index); }

  std::uint16_t U16(std::uint64_t o) const {
    Need(o, 2);
    return static_cast<std::uint16_t>(b_[o] | (b_[o + 1] << 8));
  }
  std::uint32_t U32(std::uint64_t o) const {
    Need(o, 4);
    return b_[o] | (b_[o + 1] << 8) | (b_[o + 2] << 16) |
           (static_cast<std::uint32_t>(b_[o + 3]) << 24);
  }
  std::uint64_t U64(std::uint64_t o) const { return U32(o) | (std::uint64_t{U32(o + 4)} << 32); }

  // The file offset of an RVA, through the section that holds it.
  std::uint64_t Offset(std::uint64_t rva) const {
    for (const Section& s : sections_) {
      const std::uint32_t span = s.virtual_size > s.raw_size ? s.virtual_size : s.raw_size;
      if (rva >= s.rva && rva < std::uint64_t{s.rva} + span) return rva - s.rva + s.raw_offset;
    }
    throw std::runtime_error("address " + std::to_string(rva) + " lies in no section");
  }
  // Each section's RVA and the number of bytes the file holds of it.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> RawSections() const {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (const Section& s : sections_) out.emplace_back(s.rva, s.raw_size);
    return out;
  }
  bool Maps(std::uint64_t rva) const {
    try {
      Offset(rva);
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }
  std::string Text(std::uint64_t rva) const {
    std::string s;
    for (std::uint64_t o = Offset(rva); U8(o); ++o) s += static_cast<char>(U8(o));
    return s;
  }

 private:
  struct Section {
    std::uint32_t rva, virtual_size, raw_offset, raw_size;
  };
  unsigned char U8(std::uint64_t o) const {
    Need(o, 1);
    return b_[o];
  }
  void Need(std::uint64_t o, std::uint64_t n) const {
    if (o + n > b_.size()) throw std::runtime_error("truncated image");
  }

  std::vector<unsigned char> b_;
  bool wide_ = false;
  std::uint64_t image_base_ = 0;
  std::uint32_t directories_ = 0;
  std::vector<Section> sections_;
};

// Prints the functions of one name table (a run of thunks ending in a zero one). With an
// address table `slots` (delay imports), a function whose slot holds nothing prints as
// "delay-nostub": a call to it would jump to address 0 instead of the delay-load stub.
void PrintNames(const Image& pe, const char* kind, const std::string& dll, std::uint64_t table,
                std::uint64_t slots = 0) {
  const unsigned step = pe.wide() ? 8 : 4;
  const std::uint64_t first = pe.Offset(table);
  for (std::uint64_t i = 0;; ++i) {
    const std::uint64_t o = first + i * step;
    const std::uint64_t thunk = pe.wide() ? pe.U64(o) : pe.U32(o);
    if (!thunk) break;
    const std::uint64_t by_ordinal = pe.wide() ? thunk >> 63 : thunk >> 31;
    bool unbound = false;
    if (slots) {
      const std::uint64_t slot = pe.Offset(slots) + i * step;
      unbound = (pe.wide() ? pe.U64(slot) : pe.U32(slot)) == 0;
    }
    std::cout << kind << (unbound ? "-nostub " : " ") << dll << ' '
              << (by_ordinal ? "#" + std::to_string(thunk & 0xFFFF)
                             : pe.Text((thunk & 0x7FFFFFFF) + 2))
              << '\n';
  }
}

void PrintImports(const Image& pe) {
  const std::uint32_t dir = pe.DirectoryRva(1);
  if (!dir) return;
  for (std::uint64_t d = pe.Offset(dir);; d += 20) {
    const std::uint32_t names = pe.U32(d), name = pe.U32(d + 12), iat = pe.U32(d + 16);
    if (!name) break;
    PrintNames(pe, "import", pe.Text(name), names ? names : iat);
  }
}

// What a delay-import descriptor gives: the DLL's name, its name table and its address table
// (RVAs when bit 0 of its attributes is set, addresses otherwise).
struct DelayDescriptor {
  std::string dll;
  std::uint64_t names = 0;
  std::uint64_t slots = 0;
};

bool ReadDelayDescriptor(const Image& pe, std::uint64_t d, DelayDescriptor& out) {
  const std::uint32_t attributes = pe.U32(d), name = pe.U32(d + 4), slots = pe.U32(d + 12),
                      names = pe.U32(d + 16);
  if (!name) return false;
  const std::uint64_t base = (attributes & 1) ? 0 : pe.image_base();
  out = {pe.Text(name - base), names - base, slots - base};
  return true;
}

// Whether the 32 bytes at file offset `d` look like a descriptor dlltool makes.
bool LooksLikeDelayDescriptor(const Image& pe, std::uint64_t d) {
  if (pe.U32(d) != 1 || pe.U32(d + 20) || pe.U32(d + 24) || pe.U32(d + 28)) return false;
  for (unsigned field = 4; field <= 16; field += 4) {
    if (!pe.U32(d + field) || !pe.Maps(pe.U32(d + field))) return false;
  }
  try {
    const std::string dll = pe.Text(pe.U32(d + 4));
    if (dll.size() < 5 || dll.size() > 64) return false;
    std::string ext = dll.substr(dll.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".dll") return false;
    for (char c : dll) {
      if (c < 0x21 || c > 0x7E) return false;
    }
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

void PrintDelayImports(const Image& pe) {
  const std::uint32_t dir = pe.DirectoryRva(13);
  DelayDescriptor desc;
  if (dir) {
    for (std::uint64_t d = pe.Offset(dir); ReadDelayDescriptor(pe, d, desc); d += 32)
      PrintNames(pe, "delay", desc.dll, desc.names, desc.slots);
    return;
  }
  for (const auto& [rva, size] : pe.RawSections()) {
    for (std::uint64_t at = 0; at + 32 <= size; at += 4) {
      const std::uint64_t d = pe.Offset(rva + at);
      if (LooksLikeDelayDescriptor(pe, d) && ReadDelayDescriptor(pe, d, desc))
        PrintNames(pe, "delay", desc.dll, desc.names, desc.slots);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: peimports <file.exe>\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "peimports: cannot read " << argv[1] << '\n';
    return 1;
  }
  try {
    const Image pe(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {}));
    PrintImports(pe);
    PrintDelayImports(pe);
  } catch (const std::exception& e) {
    std::cerr << "peimports: " << argv[1] << ": " << e.what() << '\n';
    return 1;
  }
  return 0;
}
