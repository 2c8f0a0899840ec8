#pragma once

namespace tarvo {

class TraceLog;

// The exit status at the end of a run: `status`, raised to 1 when standard output lost what
// was written to it or the trace stopped on a write error. Each is said on standard error
// (the trace said its own when it stopped).
int finalStatus(int status, const TraceLog* trace = nullptr);

}  // namespace tarvo
