// The trace file. Outside a public call's session (see trace_session.h) every record opens,
// appends and closes the file; inside one, the session's stream takes every record and flushes
// it at once. Either way the file is complete after each record and no stream stays open
// between calls. A trace that cannot be opened (a read-only or missing directory) is skipped:
// the computation never depends on it. An engine whose trace is switched off has no path.
#include <cstdio>
#include <string>
#include <utility>

#include "compensation/engine.h"
#include "compensation/tracing.h"
#include "engine/trace_format.h"
#include "engine/trace_session.h"
#include "platform/platform.h"

namespace compensation::detail {

namespace {

// Its address marks a session whose file is not open yet.
const char kPendingMark = 0;

}  // namespace

TraceSession::TraceSession(CCompensation& engine)
    : engine_(engine), outermost_(engine.m_pTraceFile == nullptr) {
    if (outermost_) {
        engine_.m_pTraceFile = Pending();
    }
}

TraceSession::~TraceSession() {
    if (!outermost_) {
        return;
    }
    if (engine_.m_pTraceFile != Pending()) {
        std::fclose(engine_.m_pTraceFile);
    }
    engine_.m_pTraceFile = nullptr;
}

std::FILE* TraceSession::Pending() {
    return reinterpret_cast<std::FILE*>(const_cast<char*>(&kPendingMark));
}

std::string TraceSession::TracePath(CCompensation& engine) {
    // Sized for the longest path the system hands out, not for the 260 characters of old
    // Windows: a deep build or install directory must not move the trace elsewhere.
    char path[platform::kPathCapacity] = {};
    engine.GetWorkDir(path, platform::kPathCapacity);
    return std::string(path) + "TraceFile.txt";
}

void TraceSession::SetPath(CCompensation& engine, std::string path) {
    engine.m_strTraceFile = std::move(path);
}

const std::string& TraceSession::Path(const CCompensation& engine) {
    return engine.m_strTraceFile;
}

}  // namespace compensation::detail

namespace detail = compensation::detail;

namespace {

void WriteThrough(std::FILE* stream, const std::string& text) {
    // One write per record: the buffer never holds a record past this call.
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// One record. `mode` is "a+" (append) or "w" (empty the file first; no call in the library
// asks for it).
void WriteTrace(std::FILE*& stream, const std::string& path, const char* mode,
                const std::string& text) {
    if (path.empty()) {
        return;
    }
    const bool inSession = stream != nullptr;
    if (inSession && mode[0] == 'w') {
        // Emptying the file needs a fresh open; the session's later records append to it.
        if (stream != detail::TraceSession::Pending()) {
            std::fclose(stream);
        }
        stream = detail::TraceSession::Pending();
    }
    if (inSession && stream == detail::TraceSession::Pending() && mode[0] != 'w') {
        std::FILE* opened = std::fopen(path.c_str(), mode);
        if (opened == nullptr) {
            return;  // tried again at the next record, as every record tries outside a session
        }
        stream = opened;
    }
    if (inSession && stream != detail::TraceSession::Pending()) {
        WriteThrough(stream, text);
        return;
    }
    std::FILE* once = std::fopen(path.c_str(), mode);
    if (once == nullptr) {
        return;
    }
    WriteThrough(once, text);
    std::fclose(once);
}

// Appends the record `lines` formats, formatting it only when the trace is on.
template <typename Lines>
void AppendTrace(std::FILE*& stream, const std::string& path, Lines lines) {
    if (!path.empty()) {
        WriteTrace(stream, path, "a+", lines());
    }
}

}  // namespace

// An engine with the trace switched off does not even format its records.
void CCompensation::OutputTrace(const char* pszText, bool bAppend) {
    if (m_strTraceFile.empty()) {
        return;
    }
    WriteTrace(m_pTraceFile, m_strTraceFile, bAppend ? "a+" : "w", detail::TraceTextLine(pszText));
}

void CCompensation::OutputTrace(const char* pszName, int nValue) {
    AppendTrace(m_pTraceFile, m_strTraceFile,
                [&] { return detail::TraceIntLine(pszName, nValue); });
}

void CCompensation::OutputTrace(const char* pszTitle, CVector* pVec) {
    AppendTrace(m_pTraceFile, m_strTraceFile,
                [&] { return detail::TraceVectorLines(pszTitle, pVec); });
}

void CCompensation::OutputTrace(const char* pszTitle, TRANSFORM_PARMS* pParms) {
    AppendTrace(m_pTraceFile, m_strTraceFile,
                [&] { return detail::TraceTransformLines(pszTitle, pParms); });
}

void CCompensation::OutputTrace(const char* pszTitle, TCompOut* pCompOut) {
    AppendTrace(m_pTraceFile, m_strTraceFile,
                [&] { return detail::TraceCompOutLines(pszTitle, pCompOut); });
}

void CCompensation::OutputTrace(const char* pszTitle, TMapper* pMap) {
    AppendTrace(m_pTraceFile, m_strTraceFile,
                [&] { return detail::TraceMapperLines(pszTitle, pMap); });
}

namespace compensation {

void SetTracing(CCompensation& engine, bool enabled) {
    if (enabled == IsTracing(engine)) {
        return;
    }
    detail::TraceSession::SetPath(
        engine, enabled ? detail::TraceSession::TracePath(engine) : std::string());
}

bool IsTracing(const CCompensation& engine) {
    return !detail::TraceSession::Path(engine).empty();
}

}  // namespace compensation
