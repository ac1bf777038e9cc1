// The least a whole job has to do on files: read the input once and write a
// file of the output's size, both in 1 MiB blocks. What the library spends
// beyond this is its own work.
//
// With --durable, the least a job that must not lose the file it replaces
// has to do: the same bytes go to a temporary beside OUTPUT, are synced,
// renamed over OUTPUT, and the folder is synced so that the rename lasts.
//
//   io_floor INPUT OUTPUT BYTES [--durable]
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool WriteAll(int fd, const std::vector<unsigned char>& block, unsigned long long bytes) {
    for (unsigned long long left = bytes; left > 0;) {
        const size_t n = left < block.size() ? static_cast<size_t>(left) : block.size();
        const ssize_t done = write(fd, block.data(), n);
        if (done <= 0) return false;
        left -= static_cast<unsigned long long>(done);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool Durable(const std::string& output, const std::vector<unsigned char>& block, unsigned long long bytes) {
    const std::string temporary = output + ".floor-tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, block, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), output.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
        return false;
    }
    const int folder = open(FolderOf(output).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    ok = fsync(folder) == 0;
    return close(folder) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    const bool durable = argc == 5 && std::strcmp(argv[4], "--durable") == 0;
    if (argc != 4 && !durable) {
        std::fprintf(stderr, "usage: io_floor INPUT OUTPUT BYTES [--durable]\n");
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
    if (durable) return Durable(argv[2], block, bytes) ? 0 : 1;
    const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) return 1;
    const bool ok = WriteAll(out, block, bytes);
    return close(out) == 0 && ok ? 0 : 1;
}
