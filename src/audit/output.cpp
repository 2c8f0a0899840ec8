#include "audit/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/trace_log.h"

namespace tarvo {

int finalStatus(int status, const TraceLog* trace) {
    // A failed write may have happened long ago (the buffer flushed early) or only now.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int why = errno;
    if (!flushed || std::ferror(stdout)) {
        std::fprintf(stderr, "tarvo-audit: cannot write to standard output%s%s\n",
                     why != 0 ? ": " : "", why != 0 ? std::strerror(why) : "");
        status = status == 0 ? 1 : status;
    }
    if (trace && !trace->writeError().isEmpty()) {
        status = status == 0 ? 1 : status;
    }
    return status;
}

}  // namespace tarvo
