// Replays a fuzz target over corpus files and folders, plus bounded deterministic mutations of each
// input (truncations, bit flips, byte runs), so that CI exercises the target without libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Run(const std::vector<uint8_t>& input) {
  // An exact-size heap copy lets the sanitizers see any read past the end.
  std::vector<uint8_t> copy(input);
  LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
}

int g_rounds = 200;  // mutations per input; --rounds N for targets whose runs are slow

void Mutate(const std::vector<uint8_t>& in, uint32_t seed) {
  uint32_t s = seed * 2654435761u + 1;
  auto next = [&s] { s ^= s << 13; s ^= s >> 17; s ^= s << 5; return s; };
  for (size_t cut : {size_t(0), size_t(1), in.size() / 2, in.size() ? in.size() - 1 : 0}) {
    Run(std::vector<uint8_t>(in.begin(), in.begin() + std::min(cut, in.size())));
  }
  for (int round = 0; round < g_rounds && !in.empty(); ++round) {
    std::vector<uint8_t> m(in);
    int edits = 1 + next() % 4;
    for (int e = 0; e < edits; ++e) {
      size_t pos = next() % m.size();
      switch (next() % 4) {
        case 0: m[pos] ^= uint8_t(1u << (next() % 8)); break;
        case 1: m[pos] = 0xFF; break;
        case 2: m[pos] = 0; break;
        case 3: m[pos] = uint8_t(next()); break;
      }
    }
    Run(m);
  }
}

bool ReadFile(const std::filesystem::path& p, std::vector<uint8_t>* out) {
  std::ifstream f(p, std::ios::binary);
  if (!f) return false;
  out->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t files = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--rounds" && i + 1 < argc) {
      g_rounds = std::max(0, std::atoi(argv[++i]));
      continue;
    }
    std::filesystem::path p(argv[i]);
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::directory_iterator(p))
        if (e.is_regular_file()) inputs.push_back(e.path());
    } else if (std::filesystem::exists(p)) {
      inputs.push_back(p);
    } else {
      std::fprintf(stderr, "missing corpus input %s\n", argv[i]);
      return 1;
    }
    for (const auto& in : inputs) {
      std::vector<uint8_t> bytes;
      if (!ReadFile(in, &bytes)) {
        std::fprintf(stderr, "cannot read %s\n", in.string().c_str());
        return 1;
      }
      Run(bytes);
      Mutate(bytes, static_cast<uint32_t>(files * 7919 + bytes.size()));
      ++files;
    }
  }
  if (files == 0) {
    std::fprintf(stderr, "no corpus inputs\n");
    return 1;
  }
  std::printf("replayed %zu inputs with mutations\n", files);
  return 0;
}
