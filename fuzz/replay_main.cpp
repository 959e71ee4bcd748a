// Replays saved fuzz inputs through LLVMFuzzerTestOneInput without the fuzzing engine, so that
// the ordinary test run (and the Windows build) checks every corpus file. Fails when a directory
// is missing or holds no input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s corpus-directory...\n", argv[0]);
        return 2;
    }
    int total = 0;
    for (int a = 1; a < argc; ++a) {
        std::error_code ec;
        if (!fs::is_directory(argv[a], ec)) {
            std::fprintf(stderr, "%s: not a directory\n", argv[a]);
            return 1;
        }
        int inDir = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(argv[a], ec)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream file(entry.path(), std::ios::binary);
            if (!file) {
                std::fprintf(stderr, "%s: cannot be read\n", entry.path().string().c_str());
                return 1;
            }
            std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
            // A fresh block of exactly the input's size, so reads past the end are caught.
            std::vector<uint8_t> input(bytes.begin(), bytes.end());
            LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
            ++inDir;
        }
        if (ec) {
            std::fprintf(stderr, "%s: %s\n", argv[a], ec.message().c_str());
            return 1;
        }
        if (inDir == 0) {
            std::fprintf(stderr, "%s: no inputs\n", argv[a]);
            return 1;
        }
        total += inDir;
    }
    std::printf("%d inputs replayed\n", total);
    return 0;
}
