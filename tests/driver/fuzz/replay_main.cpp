// Runs the fuzz entry over every file of the given folders or files: the
// corpus as a regression test, and a stand-in where libFuzzer is missing.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int count = 0;
  auto run = [&](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ++count;
  };
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg)) {
        if (entry.is_regular_file()) run(entry.path());
      }
    } else if (std::filesystem::is_regular_file(arg)) {
      run(arg);
    } else {
      std::cerr << "not found: " << arg << "\n";
      return 2;
    }
  }
  std::cout << count << " inputs\n";
  return count > 0 ? 0 : 1;
}
