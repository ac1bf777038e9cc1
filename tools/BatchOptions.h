// The batch form's arguments, read and checked before anything is touched.
#pragma once

#include <string>
#include <vector>

#include "Host.h"

namespace host {

struct BatchPicture {
    Text input, output;  // the input as given
};

struct BatchPlan {
    int32_t angle = 0;
    unsigned jobs = 0;
    bool quiet = false, noClobber = false;
    std::vector<BatchPicture> pictures;
};

// ExitWritten with the plan filled in, or the refusal's status after its one
// line on standard error.
int ReadBatchArguments(const std::vector<Text>& args, BatchPlan& plan);

}  // namespace host
