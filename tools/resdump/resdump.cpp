// Test helper: writes every named resource of one type from a compiled resource file (.res, as
// `windres -i X.exe -O res` produces from an exe) into a folder, one file per resource, named
// after the resource in lower case with the given suffix. Portable host C++17.
//
//   resdump <file.res> <type> <out folder> <suffix>   named resources of one type -> files
//   resdump <file.res> --list                         "type name size" per resource
//   resdump <file.res> --get <type> <name> <file>     one resource (numbers as #N) -> file
//
// Types and names print as in a resource script: numbers as "#N", texts in lower case.
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

std::uint32_t U32(const std::vector<unsigned char>& b, std::size_t o) {
  return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (static_cast<std::uint32_t>(b[o + 3]) << 24);
}

// A type or name field: a number (0xFFFF, id) or a NUL-terminated UTF-16 text (ASCII here).
std::string Field(const std::vector<unsigned char>& b, std::size_t& o) {
  if (b[o] == 0xFF && b[o + 1] == 0xFF) {
    const unsigned id = b[o + 2] | (b[o + 3] << 8);
    o += 4;
    return "#" + std::to_string(id);
  }
  std::string s;
  while (b[o] || b[o + 1]) {
    s += static_cast<char>(std::tolower(b[o]));
    o += 2;
  }
  o += 2;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[2] : "";
  const bool list = mode == "--list" && argc == 3;
  const bool get = mode == "--get" && argc == 6;
  if (argc != 5 && !list && !get) {
    std::cerr << "usage: resdump <file.res> <type> <out folder> <suffix>\n"
                 "       resdump <file.res> --list\n"
                 "       resdump <file.res> --get <type> <name> <out file>\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
  auto lower = [](std::string t) {
    for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return t;
  };
  std::string want = lower(get ? argv[3] : argv[2]);
  const std::string want_name = get ? lower(argv[4]) : "";
  int written = 0;
  std::size_t o = 0;
  while (o + 8 <= b.size()) {
    const std::uint32_t data_size = U32(b, o), header_size = U32(b, o + 4);
    if (header_size < 8 || o + header_size + data_size > b.size()) {
      std::cerr << "resdump: malformed entry at " << o << "\n";
      return 1;
    }
    std::size_t f = o + 8;
    const std::string type = Field(b, f);
    const std::string name = Field(b, f);
    if (list) {
      // A .res file starts with an empty entry (type and name #0) that marks its format.
      if (data_size > 0) std::cout << type << " " << name << " " << data_size << "\n";
    } else if (get) {
      if (type == want && name == want_name && written == 0) {
        std::ofstream out(argv[5], std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data() + o + header_size), data_size);
        ++written;
      }
    } else if (type == want && name[0] != '#') {
      std::ofstream out(std::string(argv[3]) + "/" + name + argv[4], std::ios::binary);
      out.write(reinterpret_cast<const char*>(b.data() + o + header_size), data_size);
      ++written;
    }
    o = (o + header_size + data_size + 3) & ~std::size_t{3};
  }
  if (get) {
    if (written == 0) std::cerr << "resdump: no resource " << want << " " << want_name << "\n";
    return written == 0 ? 1 : 0;
  }
  if (!list) std::cout << written << "\n";
  return 0;
}
