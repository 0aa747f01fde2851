// What an unattended import run tells the task runner: every database it
// wrote to (for the cleanup jobs that follow the imports) and, when it
// closes, its result and run time. The task runner implements this; the
// import run only calls it.
#pragma once

#include <cstdint>

namespace quill {

// Results a run reports to the task runner.
enum ImportRunResult : uint8_t { RunResultOk = 1, RunResultFailed = 2 };

class TaskLink {
public:
    virtual ~TaskLink() = default;
    // The cleanup job driver. The import run calls only code 2: add an
    // archive database to the databases the running task has touched.
    virtual void CleanUp(int code, uint32_t forumId) = 0;
    // The run has closed: result 1 after its normal end, 2 otherwise, and
    // its run time in whole seconds.
    virtual void importFinished(uint8_t result, int32_t seconds) = 0;
};

}  // namespace quill
