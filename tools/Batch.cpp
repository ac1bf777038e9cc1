// The batch form: many pictures, each turned by a worker process that loads
// the library once and calls it for one picture at a time.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BatchOptions.h"
#include "Diagnosis.h"
#include "Progress.h"
#include "Reasons.h"
#include "Signals.h"
#include "Worker.h"
#include "WorkerPool.h"

namespace host {

namespace {

constexpr long kIdle = -1;

class Run {
public:
    Run(const BatchPlan& plan, BMPRotate2Fn rotate)
        : plan_(plan),
          slots_(std::min<size_t>(plan.jobs, plan.pictures.size())),
          workers_(slots_, rotate),
          progress_(plan.pictures.size(), !plan.quiet && StderrIsTerminal()),
          status_(plan.pictures.size(), kIdle),
          working_(slots_, kIdle),
          running_(slots_, false) {}

    int Go() {
        const size_t total = plan_.pictures.size();
        progress_.Show(0, true);
        for (size_t slot = 0; slot < slots_; ++slot) Start(slot);
        while (done_ < total) {
            if (StopSignal() == 0) HandOut();
            WorkerEvent event;
            if (!workers_.Wait(event)) {
                if (StopSignal() != 0) break;
                // Not one worker has a picture, nor would take one: what is left fails here.
                for (; next_ < total; ++next_) Finish(next_, ExitSoftware, "no worker process could be started");
                break;
            }
            if (event.stopped) continue;
            const long picture = working_[event.slot];
            working_[event.slot] = kIdle;
            if (event.ended) {
                running_[event.slot] = false;
                if (picture != kIdle) Finish(static_cast<size_t>(picture), ExitSoftware, event.why);
                if (next_ < total && StopSignal() == 0) Start(event.slot);
            } else if (picture != kIdle) {
                Answered(static_cast<size_t>(picture), event.reply);
            }
        }
        progress_.Clear();
        if (!plan_.quiet) {
            const std::string skipped = plan_.noClobber ? std::to_string(skipped_) + " skipped, " : "";
            const std::string notDone = done_ < total ? ", " + std::to_string(total - done_) + " not done" : "";
            std::fprintf(stderr, "%zu %s: %zu written, %s%zu failed%s\n", total, total == 1 ? "picture" : "pictures",
                         done_ - failed_ - skipped_, skipped.c_str(), failed_, notDone.c_str());
        }
        for (long status : status_)
            if (status != ExitWritten) return status == kIdle ? ExitSoftware : static_cast<int>(status);
        return ExitWritten;
    }

private:
    void Answered(size_t picture, const Reply& reply) {
        const std::string output = Shown(plan_.pictures[picture].output);
        switch (reply.ending) {
            case Ending::Kept: return Skip(picture);
            case Ending::NotPlaced: return Finish(picture, ExitInvalidOrUnwritable, output + ": cannot be written");
            case Ending::NoScratch:
                return Finish(picture, ExitSoftware, "no scratch folder could be made for its names");
            case Ending::AsResult: break;
        }
        if (reply.result == 999) return Finish(picture, ExitWritten, "");
        Finish(picture, StatusFor(reply.result), reply.lastLine + Reason(plan_.pictures[picture], reply.result));
    }

    void Skip(size_t picture) {
        ++skipped_;
        Report(picture, Shown(plan_.pictures[picture].output) + " exists, skipped");
        status_[picture] = ExitWritten;
        progress_.Show(++done_, true);
    }

    // A worker that cannot be started is not tried again until another ends:
    // each end takes a picture with it, so this cannot go round for ever.
    void Start(size_t slot) { running_[slot] = workers_.Start(slot); }

    // The cause after the library's line, with the output's name when it is the output's.
    std::string Reason(const BatchPicture& picture, int32_t result) const {
        const Cause cause = CauseOf(picture.input, picture.output, result, plan_.angle);
        return " (" + (cause.ofOutput ? Shown(picture.output) + ": " : std::string()) + cause.why + ")";
    }

    // With -n an output that exists is kept, before any worker sees its
    // picture; one that appears later, by the worker.
    void SkipKept() {
        while (plan_.noClobber && next_ < plan_.pictures.size() && Exists(plan_.pictures[next_].output)) Skip(next_++);
    }

    void HandOut() {
        SkipKept();
        for (size_t slot = 0; slot < slots_ && next_ < plan_.pictures.size(); ++slot) {
            // A worker gone before it had the picture leaves it for the next
            // one; a slot whose workers keep going is given up.
            for (int attempt = 0; attempt < 3 && running_[slot] && working_[slot] == kIdle; ++attempt) {
                const BatchPicture& picture = plan_.pictures[next_];
                if (workers_.Send(slot, EncodeRequest(plan_.angle, plan_.noClobber, picture.input, picture.output))) {
                    working_[slot] = static_cast<long>(next_++);
                    SkipKept();
                } else
                    Start(slot);
            }
        }
    }

    void Finish(size_t picture, int status, const std::string& line) {
        status_[picture] = status;
        ++done_;
        if (status != ExitWritten) {
            ++failed_;
            Report(picture, line);
            progress_.Show(done_, true);
        } else {
            progress_.Show(done_);
        }
    }

    void Report(size_t picture, const std::string& line) {
        progress_.Clear();
        std::fprintf(stderr, "%s: %s\n", Shown(plan_.pictures[picture].input).c_str(), line.c_str());
    }

    const BatchPlan& plan_;
    const size_t slots_;
    WorkerPool workers_;
    Progress progress_;
    std::vector<long> status_;   // per picture: its exit status, or kIdle while not done
    std::vector<long> working_;  // per worker: the picture it has, or kIdle
    std::vector<bool> running_;
    size_t next_ = 0, done_ = 0, failed_ = 0, skipped_ = 0;
};

}  // namespace

int RunBatch(const std::vector<Text>& args) {
    BatchPlan plan;
    if (const int status = ReadBatchArguments(args, plan)) return status;
    BMPRotate2Fn rotate = LoadExport();
    if (rotate == nullptr) return Fail(ExitNoLibrary, "cannot load " + LibraryNotLoaded());
    WatchStops(false);
    // The workers are collected when the run is gone, before the end by a stop.
    const int status = Run(plan, rotate).Go();
    if (const int signal = StopSignal()) EndBySignal(signal);
    return status;
}

}  // namespace host
