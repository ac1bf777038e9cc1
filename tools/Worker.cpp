// Both ends of the worker conversation that are the same on every system.
#include "Worker.h"

#include "LibraryNames.h"

#include <cstdio>
#include <cstring>

namespace host {

namespace {

void Append(std::string& out, uint32_t value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof bytes);
}

}  // namespace

constexpr size_t kUnit = sizeof(Text::value_type);

std::string EncodeRequest(int32_t angle, bool noClobber, const Text& input, const Text& output) {
    std::string out;
    out.reserve(16 + kUnit * (input.size() + output.size()));
    Append(out, static_cast<uint32_t>(angle));
    Append(out, noClobber ? 1u : 0u);
    Append(out, static_cast<uint32_t>(input.size()));
    Append(out, static_cast<uint32_t>(output.size()));
    out.append(reinterpret_cast<const char*>(input.data()), kUnit * input.size());
    out.append(reinterpret_cast<const char*>(output.data()), kUnit * output.size());
    return out;
}

bool TakeReply(std::string& buffer, Reply& reply) {
    const size_t nul = buffer.find('\0');
    if (nul == std::string::npos) return false;
    const size_t end = buffer.find('\n', nul);
    if (end == std::string::npos) return false;
    char* after = nullptr;
    reply.result = static_cast<int32_t>(std::strtol(buffer.c_str() + nul + 1, &after, 10));
    reply.ending = after + 1 < buffer.c_str() + end && *after == ' ' ? static_cast<Ending>(after[1]) : Ending::AsResult;
    std::string& lastLine = reply.lastLine;
    // The last line that says anything, without its line ending.
    size_t stop = nul;
    while (stop > 0 && (buffer[stop - 1] == '\n' || buffer[stop - 1] == '\r')) --stop;
    const size_t start = buffer.find_last_of('\n', stop == 0 ? 0 : stop - 1);
    lastLine = start == std::string::npos || stop == 0 ? buffer.substr(0, stop)
                                                        : buffer.substr(start + 1, stop - start - 1);
    buffer.erase(0, end + 1);
    return true;
}

int ServeRequests(BMPRotate2Fn rotate) {
    for (;;) {
        uint32_t head[4];
        if (!ReadRequestBytes(head, sizeof head)) return ExitWritten;
        if (head[2] > kMaxNameUnits || head[3] > kMaxNameUnits) return ExitSoftware;
        Text input(head[2], '\0'), output(head[3], '\0');
        if (!ReadRequestBytes(&input[0], kUnit * input.size()) || !ReadRequestBytes(&output[0], kUnit * output.size()))
            return ExitSoftware;
        int32_t result = 0;
        Ending ending = Ending::NoScratch;
        LibraryNames names;
        if (names.Open(input, output, head[1] != 0)) {
            result = rotate(names.input(), names.output(), static_cast<int32_t>(head[0]));
            const LibraryNames::Placed placed = names.Finish(result == 999);
            ending = result != 999 || placed == LibraryNames::Placed::Written ? Ending::AsResult
                     : placed == LibraryNames::Placed::Kept                   ? Ending::Kept
                                                                                : Ending::NotPlaced;
        }
        std::fflush(stdout);
        std::fputc('\0', stdout);
        std::fprintf(stdout, "%ld %c\n", static_cast<long>(result), static_cast<char>(ending));
        if (std::fflush(stdout) != 0) return ExitSoftware;
    }
}

int RunWorkerProcess() {
    BMPRotate2Fn rotate = LoadExport();
    if (rotate == nullptr) return Fail(ExitNoLibrary, "cannot load " + LibraryNotLoaded());
    return ServeRequests(rotate);
}

}  // namespace host
