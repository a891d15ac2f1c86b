// Replays fuzz inputs through a target without libFuzzer, so that the corpus
// and every past finding run as an ordinary test in any build.
//
//   fuzz_<target>_replay FILE_OR_FOLDER...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void replayFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

int replay(const std::filesystem::path& path) {
    if (!std::filesystem::is_directory(path)) {
        replayFile(path);
        return 1;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) replayFile(file);
    return static_cast<int>(files.size());
}

}  // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) replayed += replay(argv[i]);
    std::printf("%d inputs replayed, every property held\n", replayed);
    return replayed > 0 ? 0 : 1;
}
