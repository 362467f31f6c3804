// The trace file: every write opens, appends and closes it, so the file is complete after each
// line and no stream stays open between calls. A trace that cannot be opened (a read-only or
// missing directory) is skipped: the computation never depends on it.
#include <cstdio>
#include <string>

#include "compensation/engine.h"
#include "engine/trace_format.h"

namespace {

void WriteTrace(std::FILE*& stream, const std::string& path, const char* mode,
                const std::string& text) {
    stream = std::fopen(path.c_str(), mode);
    if (stream == nullptr) {
        return;
    }
    std::fputs(text.c_str(), stream);
    std::fclose(stream);
    stream = nullptr;
}

}  // namespace

namespace detail = compensation::detail;

void CCompensation::OutputTrace(const char* pszText, bool bAppend) {
    WriteTrace(m_pTraceFile, m_strTraceFile, bAppend ? "a+" : "w", detail::TraceTextLine(pszText));
}

void CCompensation::OutputTrace(const char* pszName, int nValue) {
    WriteTrace(m_pTraceFile, m_strTraceFile, "a+", detail::TraceIntLine(pszName, nValue));
}

void CCompensation::OutputTrace(const char* pszTitle, CVector* pVec) {
    WriteTrace(m_pTraceFile, m_strTraceFile, "a+", detail::TraceVectorLines(pszTitle, pVec));
}

void CCompensation::OutputTrace(const char* pszTitle, TRANSFORM_PARMS* pParms) {
    WriteTrace(m_pTraceFile, m_strTraceFile, "a+", detail::TraceTransformLines(pszTitle, pParms));
}

void CCompensation::OutputTrace(const char* pszTitle, TCompOut* pCompOut) {
    WriteTrace(m_pTraceFile, m_strTraceFile, "a+", detail::TraceCompOutLines(pszTitle, pCompOut));
}

void CCompensation::OutputTrace(const char* pszTitle, TMapper* pMap) {
    WriteTrace(m_pTraceFile, m_strTraceFile, "a+", detail::TraceMapperLines(pszTitle, pMap));
}
