// The least a whole job has to do on files: read the input once and write a
// file of the output's size, both in 1 MiB blocks. What the library spends
// beyond this is its own work.
//
//   io_floor INPUT OUTPUT BYTES
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: io_floor INPUT OUTPUT BYTES\n");
        return 64;
    }
    const unsigned long long bytes = std::strtoull(argv[3], nullptr, 10);
    std::vector<unsigned char> block(1u << 20);
    FILE* in = std::fopen(argv[1], "rb");
    if (in == nullptr) return 3;
    unsigned long long sum = 0;
    for (size_t n; (n = std::fread(block.data(), 1, block.size(), in)) > 0;) sum += block[n - 1];
    std::fclose(in);
    std::memset(block.data(), static_cast<int>(sum & 0xFF), block.size());
    FILE* out = std::fopen(argv[2], "wb");
    if (out == nullptr) return 1;
    for (unsigned long long left = bytes; left > 0;) {
        const size_t n = left < block.size() ? static_cast<size_t>(left) : block.size();
        if (std::fwrite(block.data(), 1, n, out) != n) return 1;
        left -= n;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
