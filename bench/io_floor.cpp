// The least a whole job has to do on files: read the input once and write a
// file of the output's size, both in 1 MiB blocks. What the library spends
// beyond this is its own work.
//
// With --durable, the least a job that must not lose the file it replaces
// has to do: the same bytes go to a temporary beside OUTPUT, are synced,
// renamed over OUTPUT, and the folder is synced so that the rename lasts.
//
// With --copy, the least any turn has to do that holds both whole pictures
// in memory, as the library does: read the whole input with read(2) into a
// fresh buffer of its size, copy its pixel bytes (all after the 54-byte
// header) with memcpy into a fresh canvas of BYTES, over and over where the
// canvas is the larger, and write the canvas out. Every turn reads each
// source byte it places, so none can pay less than this copy. Both buffers
// come from malloc on every run, so their pages are new to the process and
// the kernel zeroes them on first touch, as it does the library's; and, as
// the library does, they ask for 2 MiB pages, the cheapest fresh memory
// there is.
//
// With --copy --durable, the same for a job that replaces a file: the
// canvas goes to a temporary beside OUTPUT in 1 MiB writes, each handed to
// the device as it is written (sync_file_range), as the library does, which
// was the fastest way found; then it is synced, renamed over OUTPUT, and the
// folder is synced.
//
//   io_floor INPUT OUTPUT BYTES [--copy] [--durable]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/System.h"

namespace {

constexpr size_t kBlock = size_t{1} << 20;

// Writes `bytes` bytes from `data`: straight through when `span` covers them
// all, otherwise its first `span` bytes over and over.
bool WriteAll(int fd, const unsigned char* data, size_t span, unsigned long long bytes) {
    for (unsigned long long left = bytes; left > 0;) {
        const size_t n = left < span ? static_cast<size_t>(left) : span;
        const ssize_t done = write(fd, data, n);
        if (done <= 0) return false;
        left -= static_cast<unsigned long long>(done);
        if (span >= bytes) data += done;
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool Create(const std::string& output, const unsigned char* data, size_t span, unsigned long long bytes) {
    const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, data, span, bytes);
    return close(fd) == 0 && ok;
}

// A whole buffer in 1 MiB writes, each started on its way to the device.
bool WritePaced(int fd, const unsigned char* data, unsigned long long bytes) {
    for (unsigned long long done = 0; done < bytes;) {
        const size_t n = bytes - done < kBlock ? static_cast<size_t>(bytes - done) : kBlock;
        if (!WriteAll(fd, data + done, n, n)) return false;
#if defined(SYNC_FILE_RANGE_WRITE)
        sync_file_range(fd, static_cast<off_t>(done), static_cast<off_t>(n), SYNC_FILE_RANGE_WRITE);
#endif
        done += n;
    }
    return true;
}

// `paced`: the library's writes, from the whole canvas (span == bytes).
bool Replace(const std::string& output, const unsigned char* data, size_t span, unsigned long long bytes,
             bool paced) {
    const std::string temporary = output + ".floor-tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = (paced ? WritePaced(fd, data, bytes) : WriteAll(fd, data, span, bytes)) && fsync(fd) == 0;
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

bool Write(bool durable, bool paced, const char* output, const unsigned char* data, size_t span,
           unsigned long long bytes) {
    return durable ? Replace(output, data, span, bytes, paced) : Create(output, data, span, bytes);
}

// The I/O floor: one 1 MiB block for reading and writing alike.
int IoFloor(const char* input, const char* output, unsigned long long bytes, bool durable) {
    std::vector<unsigned char> block(kBlock);
    FILE* in = std::fopen(input, "rb");
    if (in == nullptr) return 3;
    unsigned long long sum = 0;
    for (size_t n; (n = std::fread(block.data(), 1, block.size(), in)) > 0;) sum += block[n - 1];
    std::fclose(in);
    std::memset(block.data(), static_cast<int>(sum & 0xFF), block.size());
    return Write(durable, false, output, block.data(), block.size(), bytes) ? 0 : 1;
}

// A fresh buffer, with the library's own advice on large pages.
unsigned char* Fresh(size_t bytes) {
    return static_cast<unsigned char*>(vintrel::sys::AdviseLargePages(std::malloc(bytes), bytes));
}

// The whole input in a fresh buffer of its size; nullptr if it cannot be read.
unsigned char* ReadWhole(const char* input, size_t* size) {
    const int fd = open(input, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || info.st_size < 0) {
        close(fd);
        return nullptr;
    }
    const size_t want = static_cast<size_t>(info.st_size);
    // One byte more than the file, so that an empty one still gets a buffer.
    unsigned char* buffer = Fresh(want + 1);
    size_t got = 0;
    while (buffer != nullptr && got < want) {
        const ssize_t n = read(fd, buffer + got, want - got);
        if (n < 0) {
            std::free(buffer);
            buffer = nullptr;
        } else if (n == 0) {
            break;
        } else {
            got += static_cast<size_t>(n);
        }
    }
    close(fd);
    *size = got;
    return buffer;
}

int CopyFloor(const char* input, const char* output, unsigned long long bytes, bool durable) {
    if (bytes > static_cast<unsigned long long>(SIZE_MAX) - 1) return 2;
    size_t size = 0;
    unsigned char* source = ReadWhole(input, &size);
    if (source == nullptr) return 3;
    // The source is kept until the canvas is written, as a job that turns
    // one into the other keeps both.
    const auto canvasBytes = static_cast<size_t>(bytes);
    unsigned char* canvas = Fresh(canvasBytes + 1);
    if (canvas == nullptr) {
        std::free(source);
        return 2;
    }
    const size_t header = size > 54 ? 54 : 0;
    const unsigned char* pixels = source + header;
    const size_t span = size - header;
    if (span == 0) {
        std::memset(canvas, 0xFF, canvasBytes);
    } else {
        for (size_t done = 0; done < canvasBytes;) {
            const size_t n = canvasBytes - done < span ? canvasBytes - done : span;
            std::memcpy(canvas + done, pixels, n);
            done += n;
        }
    }
    const bool ok = Write(durable, true, output, canvas, canvasBytes, bytes);
    std::free(canvas);
    std::free(source);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    bool copy = false, durable = false, usage = argc < 4;
    for (int i = 4; i < argc; ++i) {
        if (std::strcmp(argv[i], "--copy") == 0 && !copy) {
            copy = true;
        } else if (std::strcmp(argv[i], "--durable") == 0 && !durable) {
            durable = true;
        } else {
            usage = true;
        }
    }
    char* end = nullptr;
    const unsigned long long bytes = usage ? 0 : std::strtoull(argv[3], &end, 10);
    if (usage || end == argv[3] || *end != '\0') {
        std::fprintf(stderr, "usage: io_floor INPUT OUTPUT BYTES [--copy] [--durable]\n");
        return 64;
    }
    return copy ? CopyFloor(argv[1], argv[2], bytes, durable) : IoFloor(argv[1], argv[2], bytes, durable);
}
