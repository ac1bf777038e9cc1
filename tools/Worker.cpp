// Both ends of the worker conversation that are the same on every system.
#include "Worker.h"

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

std::string EncodeRequest(int32_t angle, const std::u16string& input, const std::u16string& output) {
    std::string out;
    out.reserve(12 + 2 * (input.size() + output.size()));
    Append(out, static_cast<uint32_t>(angle));
    Append(out, static_cast<uint32_t>(input.size()));
    Append(out, static_cast<uint32_t>(output.size()));
    out.append(reinterpret_cast<const char*>(input.data()), 2 * input.size());
    out.append(reinterpret_cast<const char*>(output.data()), 2 * output.size());
    return out;
}

bool TakeReply(std::string& buffer, int32_t& result, std::string& lastLine) {
    const size_t nul = buffer.find('\0');
    if (nul == std::string::npos) return false;
    const size_t end = buffer.find('\n', nul);
    if (end == std::string::npos) return false;
    result = static_cast<int32_t>(std::strtol(buffer.c_str() + nul + 1, nullptr, 10));
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
        uint32_t head[3];
        if (!ReadRequestBytes(head, sizeof head)) return ExitWritten;
        if (head[1] > kMaxNameUnits || head[2] > kMaxNameUnits) return ExitSoftware;
        std::u16string input(head[1], u'\0'), output(head[2], u'\0');
        if (!ReadRequestBytes(&input[0], 2 * input.size()) || !ReadRequestBytes(&output[0], 2 * output.size()))
            return ExitSoftware;
        const int32_t result = rotate(input.c_str(), output.c_str(), static_cast<int32_t>(head[0]));
        std::fflush(stdout);
        std::fputc('\0', stdout);
        std::fprintf(stdout, "%ld\n", static_cast<long>(result));
        if (std::fflush(stdout) != 0) return ExitSoftware;
    }
}

int RunWorkerProcess() {
    BMPRotate2Fn rotate = LoadExport();
    if (rotate == nullptr) return Fail(ExitNoLibrary, "cannot load " VINTREL_LIBRARY_FILE);
    return ServeRequests(rotate);
}

}  // namespace host
