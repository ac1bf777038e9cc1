// Worker processes on Windows: this program started again in worker mode,
// its standard input an anonymous pipe, its standard output a named pipe
// read here with overlapped I/O, so that one wait covers every worker.
#include "../WorkerPool.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "../Worker.h"

namespace host {

namespace {

struct Slot {
    HANDLE process = nullptr;
    HANDLE request = nullptr, reply = nullptr;  // this side's ends
    HANDLE event = nullptr;
    OVERLAPPED overlapped{};
    bool reading = false, broken = false, busy = false;
    char block[4096];
    std::string received;
};

void CloseHandleOf(HANDLE& handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = nullptr;
}

std::string Why(DWORD code) {
    char text[96];
    if (code == static_cast<DWORD>(ExitSoftware))
        std::snprintf(text, sizeof text, "worker process ran out of memory");
    else if (code >= 0xC0000000u)
        std::snprintf(text, sizeof text, "worker process crashed (exception 0x%08lX)", static_cast<unsigned long>(code));
    else
        std::snprintf(text, sizeof text, "worker process ended unexpectedly (exit code %lu)",
                      static_cast<unsigned long>(code));
    return text;
}

// The next block of a worker's answer; a pipe already broken signals at once.
void ReadNext(Slot& slot) {
    slot.overlapped = OVERLAPPED{};
    slot.overlapped.hEvent = slot.event;
    ResetEvent(slot.event);
    slot.reading = true;
    if (!ReadFile(slot.reply, slot.block, sizeof slot.block, nullptr, &slot.overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        slot.reading = false;
        slot.broken = true;
        SetEvent(slot.event);
    }
}

}  // namespace

bool ReadRequestBytes(void* to, size_t size) {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    auto* at = static_cast<char*>(to);
    while (size > 0) {
        DWORD got = 0;
        if (!ReadFile(in, at, static_cast<DWORD>(size), &got, nullptr) || got == 0) return false;
        at += got;
        size -= got;
    }
    return true;
}

struct WorkerPool::State {
    std::vector<Slot> slots;
    std::wstring self;
    unsigned serial = 0;

    std::string Stop(Slot& slot) {
        CloseHandleOf(slot.request);
        if (slot.reading) {
            DWORD ignored;
            CancelIoEx(slot.reply, &slot.overlapped);
            GetOverlappedResult(slot.reply, &slot.overlapped, &ignored, TRUE);
            slot.reading = false;
        }
        CloseHandleOf(slot.reply);
        CloseHandleOf(slot.event);
        DWORD code = static_cast<DWORD>(ExitSoftware);
        if (slot.process != nullptr) {
            WaitForSingleObject(slot.process, INFINITE);
            GetExitCodeProcess(slot.process, &code);
        }
        CloseHandleOf(slot.process);
        slot.broken = slot.busy = false;
        slot.received.clear();
        return Why(code);
    }
};

WorkerPool::WorkerPool(size_t slots, BMPRotate2Fn) : state_(new State) {
    // One wait covers at most this many workers.
    state_->slots.resize(slots < MAXIMUM_WAIT_OBJECTS ? slots : MAXIMUM_WAIT_OBJECTS);
    std::vector<wchar_t> self(32768);
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    state_->self.assign(self.data(), n);
}

WorkerPool::~WorkerPool() {
    for (Slot& slot : state_->slots) CloseHandleOf(slot.request);
    for (Slot& slot : state_->slots) state_->Stop(slot);
}

bool WorkerPool::Start(size_t index) {
    State& s = *state_;
    if (index >= s.slots.size()) return false;
    Slot& slot = s.slots[index];
    if (slot.process != nullptr) s.Stop(slot);
    const std::wstring name = L"\\\\.\\pipe\\vintrel-bmprotate2-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(s.serial++);
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr, childErr = nullptr;
    slot.reply = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                  PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    if (slot.reply == INVALID_HANDLE_VALUE) slot.reply = nullptr;
    if (slot.reply != nullptr)
        childOut = CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, 0, nullptr);
    if (childOut == INVALID_HANDLE_VALUE) childOut = nullptr;
    bool ok = childOut != nullptr && CreatePipe(&childIn, &slot.request, &inherited, 0) &&
              SetHandleInformation(slot.request, HANDLE_FLAG_INHERIT, 0);
    ok = ok && (slot.event = CreateEventW(nullptr, TRUE, FALSE, nullptr)) != nullptr;
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(), &childErr, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
    PROCESS_INFORMATION started{};
    if (ok) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childIn;
        startup.hStdOutput = childOut;
        startup.hStdError = childErr;
        std::wstring command = L"\"" + s.self + L"\" --worker-process";
        ok = CreateProcessW(s.self.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &started) != 0;
    }
    // The child's ends live on in the child only: its end of output is then seen here.
    CloseHandleOf(childIn);
    CloseHandleOf(childOut);
    CloseHandleOf(childErr);
    if (!ok) {
        s.Stop(slot);
        return false;
    }
    CloseHandle(started.hThread);
    slot.process = started.hProcess;
    ReadNext(slot);
    return true;
}

bool WorkerPool::Send(size_t index, const std::string& request) {
    Slot& slot = state_->slots[index];
    DWORD put = 0;
    if (slot.process != nullptr && !slot.broken &&
        WriteFile(slot.request, request.data(), static_cast<DWORD>(request.size()), &put, nullptr) &&
        put == request.size())
        return slot.busy = true;
    state_->Stop(slot);
    return false;
}

bool WorkerPool::Wait(WorkerEvent& event) {
    State& s = *state_;
    for (;;) {
        HANDLE events[MAXIMUM_WAIT_OBJECTS];
        size_t which[MAXIMUM_WAIT_OBJECTS];
        DWORD count = 0;
        bool anyBusy = false;
        for (size_t i = 0; i < s.slots.size(); ++i) {
            if (s.slots[i].process == nullptr) continue;
            anyBusy = anyBusy || s.slots[i].busy;
            events[count] = s.slots[i].event;
            which[count++] = i;
        }
        if (!anyBusy) return false;
        const DWORD woke = WaitForMultipleObjects(count, events, FALSE, INFINITE);
        if (woke >= WAIT_OBJECT_0 + count) return false;
        Slot& slot = s.slots[which[woke - WAIT_OBJECT_0]];
        event = WorkerEvent();
        event.slot = which[woke - WAIT_OBJECT_0];
        DWORD got = 0;
        const bool read = !slot.broken && GetOverlappedResult(slot.reply, &slot.overlapped, &got, FALSE);
        slot.reading = false;
        if (!read || got == 0) {
            event.ended = true;
            event.why = s.Stop(slot);
            return true;
        }
        slot.received.append(slot.block, got);
        ReadNext(slot);
        if (TakeReply(slot.received, event.reply)) {
            slot.busy = false;
            return true;
        }
    }
}

}  // namespace host
