// One public call's hold on the trace file.
//
// A call may write hundreds of records (the inside statistics trace every spread they take).
// Opening and closing the file for each of them cost most of a quick compensation, so a public
// call holds the file open from its first record to its return: the outermost session opens
// the file when the first record is written and closes it when the call returns; the sessions
// of the public calls it makes inside (a procedure calling a fit) share that stream. Every
// record is flushed as it is written, so the file is complete after each record, a crash
// loses nothing, and no stream is open between the host's calls.
#ifndef COMPENSATION_ENGINE_TRACE_SESSION_H
#define COMPENSATION_ENGINE_TRACE_SESSION_H

#include <cstdio>

#include "compensation/engine.h"

namespace compensation::detail {

class TraceSession {
  public:
    explicit TraceSession(CCompensation& engine);
    ~TraceSession();
    TraceSession(const TraceSession&) = delete;
    TraceSession& operator=(const TraceSession&) = delete;

    // Stands in the engine's stream while a session holds the file but no record has been
    // written yet; never used as a stream.
    static std::FILE* Pending();

    // The trace file of an engine as its constructor names it.
    static std::string TracePath(CCompensation& engine);
    static void SetPath(CCompensation& engine, std::string path);
    static const std::string& Path(const CCompensation& engine);

  private:
    CCompensation& engine_;
    bool outermost_;
};

}  // namespace compensation::detail

#endif  // COMPENSATION_ENGINE_TRACE_SESSION_H
