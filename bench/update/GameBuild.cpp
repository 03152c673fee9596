// bench_game_build --seed N --mb SIZE --shape small|large|mixed --to DIR [--files N]: writes a
// game build of about SIZE MiB (or of N small files) whose content resembles a game's, the same
// for the same seed and arguments: text configs and scripts, binary tables, noisy meshes and
// already-compressed media that xz stores. The mix packs about 3:1 with xz and, unlike repeated
// text, costs real time to decode.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// splitmix64: fast, and the same numbers on every machine for a seed.
class Random {
 public:
  explicit Random(uint64_t seed) : m_state(seed) {}
  uint64_t Next() {
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }

 private:
  uint64_t m_state;
};

enum class Kind { Config, Script, Table, Mesh, Media };

// A vocabulary of made-up words, so that text repeats as a game's identifiers do.
std::vector<std::string> Words(Random& random) {
  std::vector<std::string> words;
  const char* syllables[] = {"ka",  "ron", "vel", "mar", "ith", "sol", "dra", "ne", "tor", "ul",
                             "gen", "ash", "qua", "bri", "lo",  "fen", "zar", "mi", "oth", "py"};
  for (int i = 0; i < 3000; ++i) {
    std::string word;
    for (uint32_t n = 2 + random.Below(3); n > 0; --n) word += syllables[random.Below(20)];
    words.push_back(word);
  }
  return words;
}

class Writer {
 public:
  explicit Writer(uint64_t seed) : m_random(seed), m_words(Words(m_random)) {}

  std::string Content(Kind kind, size_t size) {
    std::string out;
    out.reserve(size + 256);
    while (out.size() < size) {
      switch (kind) {
        case Kind::Config:
          ConfigLine(out);
          break;
        case Kind::Script:
          ScriptBlock(out);
          break;
        case Kind::Table:
          TableRecord(out);
          break;
        case Kind::Mesh:
          MeshVertex(out);
          break;
        case Kind::Media:
          MediaBlock(out);
          break;
      }
    }
    out.resize(size);
    return out;
  }
  Random& random() { return m_random; }

 private:
  // Words drawn unevenly: a few are frequent, most are rare.
  const std::string& Word() {
    const uint32_t r = m_random.Below(1000);
    return m_words[r < 700 ? m_random.Below(150) : m_random.Below(3000)];
  }
  void ConfigLine(std::string& out) {
    out += Word() + "_" + Word() + " = ";
    if (m_random.Below(3) == 0) {
      out += "\"" + Word() + " " + Word() + "\"\n";
    } else {
      out += std::to_string(m_random.Below(100000)) + "\n";
    }
  }
  void ScriptBlock(std::string& out) {
    out += "function " + Word() + "(" + Word() + ", " + Word() + ")\n";
    for (uint32_t n = 2 + m_random.Below(6); n > 0; --n) {
      out += "  local " + Word() + " = " + Word() + "." + Word() + "(" +
             std::to_string(m_random.Below(1000)) + ")\n";
      if (m_random.Below(4) == 0) out += "  if " + Word() + " then return " + Word() + " end\n";
    }
    out += "end\n\n";
  }
  void TableRecord(std::string& out) {
    struct {
      uint32_t id;
      uint16_t type;
      uint16_t level;
      float values[4];
      uint32_t flags;
    } record;
    record.id = m_nextId++;
    record.type = static_cast<uint16_t>(m_random.Below(24));
    record.level = static_cast<uint16_t>(1 + m_random.Below(80));
    for (float& v : record.values) v = static_cast<float>(m_random.Below(1500)) / 4.0f;
    record.flags = m_random.Below(8) == 0 ? m_random.Below(1 << 16) : 0;
    out.append(reinterpret_cast<const char*>(&record), sizeof record);
  }
  void MeshVertex(std::string& out) {
    // Smooth positions with noise in the low bits, as quantised geometry has.
    m_phase += 1 + m_random.Below(3);
    for (int axis = 0; axis < 3; ++axis) {
      const int16_t value = static_cast<int16_t>(((m_phase * (axis + 3)) % 4096) * 8 +
                                                 static_cast<int>(m_random.Below(4)));
      out.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    const uint16_t uv = static_cast<uint16_t>(m_phase % 1024 + m_random.Below(16));
    out.append(reinterpret_cast<const char*>(&uv), sizeof uv);
  }
  void MediaBlock(std::string& out) {
    for (int i = 0; i < 8; ++i) {
      const uint64_t value = m_random.Next();
      out.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
  }

  Random m_random;
  std::vector<std::string> m_words;
  uint32_t m_nextId = 1;
  uint32_t m_phase = 0;
};

struct File {
  std::string name;
  Kind kind;
  size_t size;
};

const char* Extension(Kind kind) {
  switch (kind) {
    case Kind::Config:
      return "ini";
    case Kind::Script:
      return "lua";
    case Kind::Table:
      return "tbl";
    case Kind::Mesh:
      return "msh";
    case Kind::Media:
      return "ogg";
  }
  return "dat";
}

// The kind of a file by its share of the build's bytes: text and tables make most of it,
// already-compressed media about a fourteenth.
Kind DrawKind(Random& random) {
  const uint32_t r = random.Below(100);
  if (r < 27) return Kind::Config;
  if (r < 54) return Kind::Script;
  if (r < 74) return Kind::Table;
  if (r < 93) return Kind::Mesh;
  return Kind::Media;
}

std::vector<File> Plan(const std::string& shape, size_t total, size_t count, Random& random) {
  std::vector<File> files;
  size_t planned = 0;
  auto add = [&](size_t size, const std::string& folder) {
    const Kind kind = DrawKind(random);
    const std::string name = folder + "/" + std::to_string(files.size()) + "." + Extension(kind);
    files.push_back({name, kind, size});
    planned += size;
  };
  if (shape == "large") {
    // A few large archives, each made of pieces of every kind.
    for (int i = 0; i < 3; ++i)
      files.push_back({"pak/data" + std::to_string(i) + ".pak", Kind::Media, total / 3});
    return files;
  }
  while (count > 0 ? files.size() < count : planned < total) {
    const uint32_t r = random.Below(1000);
    if (shape == "small" || r < 970) {
      add(512 + random.Below(15 * 1024), "data/d" + std::to_string(files.size() / 100));
    } else if (r < 997) {
      add(256 * 1024 + random.Below(4 << 20), "media");
    } else {
      add(16 << 20, "pak");
    }
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t seed = 1;
  size_t megabytes = 64, count = 0;
  std::string shape = "mixed", to;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    const char* value = argv[i + 1];
    if (arg == "--seed") {
      seed = std::strtoull(value, nullptr, 10);
    } else if (arg == "--mb") {
      megabytes = std::strtoull(value, nullptr, 10);
    } else if (arg == "--files") {
      count = std::strtoull(value, nullptr, 10);
    } else if (arg == "--shape") {
      shape = value;
    } else if (arg == "--to") {
      to = value;
    }
  }
  if (to.empty() || (shape != "small" && shape != "large" && shape != "mixed")) {
    std::fprintf(stderr,
                 "usage: bench_game_build --seed N --mb SIZE --shape small|large|mixed --to DIR "
                 "[--files N]\n");
    return 2;
  }
  Writer writer(seed);
  for (const File& file : Plan(shape, megabytes << 20, count, writer.random())) {
    const fs::path path = fs::path(to) / file.name;
    fs::create_directories(path.parent_path());
    FILE* out = std::fopen(path.string().c_str(), "wb");
    if (!out) return 1;
    if (file.name.ends_with(".pak")) {
      // An archive: pieces of 1 MiB of every kind, in the build's proportions.
      for (size_t done = 0; done < file.size; done += 1 << 20) {
        const std::string piece =
            writer.Content(DrawKind(writer.random()), std::min<size_t>(1 << 20, file.size - done));
        std::fwrite(piece.data(), 1, piece.size(), out);
      }
    } else {
      const std::string content = writer.Content(file.kind, file.size);
      std::fwrite(content.data(), 1, content.size(), out);
    }
    if (std::fclose(out) != 0) return 1;
  }
  return 0;
}
