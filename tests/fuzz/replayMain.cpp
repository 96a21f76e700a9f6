// Runs a fuzz target over every file of its corpus folders, so that the seeds (and every crash
// once found and added) are checked on each test run, also without libFuzzer.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path root = argv[i];
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(root)) {
            for (auto& e : std::filesystem::recursive_directory_iterator(root))
                if (e.is_regular_file()) files.push_back(e.path());
        } else {
            files.push_back(root);
        }
        for (auto& f : files) {
            std::ifstream in(f, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    return replayed == 0 ? 1 : 0;
}
