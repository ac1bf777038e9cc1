#include "platform/Replace.h"

#include <algorithm>
#include <cstring>

#include "platform/FaultHook.h"
#include "platform/System.h"

namespace vintrel {
namespace replace {

bool FreshName(char (&name)[kFreshNameBytes]) {
    uint8_t bytes[8];
    if (Fails(OpRandom) || !SecureRandom(bytes)) return false;
    static const char prefix[] = ".vintrel-";
    char* p = name;
    std::memcpy(p, prefix, sizeof prefix - 1);
    p += sizeof prefix - 1;
    for (uint8_t b : bytes) {
        *p++ = "0123456789abcdef"[b >> 4];
        *p++ = "0123456789abcdef"[b & 15];
    }
    std::memcpy(p, ".tmp", sizeof ".tmp");
    return true;
}

}  // namespace replace

bool PlatformBeginOutput(const char* name, uint64_t bytes, PlatformOutput& output) {
    output.file = nullptr;
    output.folder = -1;
    output.target[0] = output.temporary[0] = '\0';
    output.unnamed = output.replaces = output.overwrites = false;
    output.setIdMode = 0;
    output.kept = output.written = output.writtenBack = 0;
    if (name == nullptr || name[0] == '\0') return false;
    return replace::Begin(name, bytes, output);
}

namespace {

// Write-back starts every 1 MiB, which keeps the device busy from the start:
// longer stretches leave writes waiting on it more often, and the sync at
// the end then waits longer for what is left.
constexpr uint64_t kStretch = uint64_t{1} << 20;

bool WritesBack(const PlatformOutput& output) { return output.replaces; }

}  // namespace

size_t PlatformOutputWrite(PlatformOutput& output, const void* from, size_t bytes) {
    const bool writesBack = WritesBack(output);
    size_t done = 0;
    while (done < bytes) {
        size_t step = bytes - done;
        if (writesBack) step = static_cast<size_t>(std::min<uint64_t>(step, kStretch - output.written % kStretch));
        const size_t put = PlatformWrite(static_cast<const uint8_t*>(from) + done, 1, step, output.file);
        done += put;
        output.written += put;
        if (put != step) break;
        if (writesBack && output.written % kStretch == 0 && !replace::StartWriteBack(output)) break;
    }
    return done;
}

bool PlatformCanGatherRows() { return sys::CanGatherRows(); }

bool PlatformOutputWriteRows(PlatformOutput& output, const uint8_t* rows, size_t rowBytes, uint32_t pad,
                             uint32_t count) {
    // The stream's buffer goes first: the rows go around it, to its file.
    if (!PlatformFlush(output.file)) return false;
    const bool writesBack = WritesBack(output);
    const size_t fileRow = rowBytes + pad;
    // Batches of about a stretch, so that write-back starts as often.
    uint32_t perBatch = static_cast<uint32_t>(fileRow < kStretch ? kStretch / fileRow : 1);
    if (perBatch > sys::kGatherRows) perBatch = sys::kGatherRows;
    for (uint32_t y = 0; y < count; y += perBatch) {
        const uint32_t n = count - y < perBatch ? count - y : perBatch;
        if (!sys::WriteRowsGathered(output.file, rows + y * rowBytes, rowBytes, pad, n)) return false;
        const uint64_t before = output.written;
        output.written += static_cast<uint64_t>(n) * fileRow;
        if (writesBack && output.written / kStretch != before / kStretch && !replace::StartWriteBack(output))
            return false;
    }
    return true;
}

bool PlatformEndOutput(PlatformOutput& output, bool complete) {
    if (output.file == nullptr) return false;
    return replace::End(output, complete);
}

}  // namespace vintrel
