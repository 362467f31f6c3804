#include <cstring>
#include <string>

#include "compensation/engine.h"
#include "engine/trace_session.h"
#include "platform/platform.h"

namespace {

// Least pair count demanded before a procedure has set it from the number of views.
constexpr int kDefaultMinCount = 6;

}  // namespace

CCompensation::CCompensation() : m_nMinCount(kDefaultMinCount), m_pTraceFile(nullptr) {
    if (compensation::platform::TraceSwitchedOff()) {
        return;  // no path: nothing is ever written
    }
    m_strTraceFile = compensation::detail::TraceSession::TracePath(*this);

    const compensation::detail::TraceSession trace(*this);
    OutputTrace("**********************", true);
    OutputTrace("Started Dll", true);
    OutputTrace("DATE *****************", true);
    OutputTrace(compensation::platform::LocalDate().c_str(), true);
    OutputTrace("TIME *****************", true);
    OutputTrace(compensation::platform::LocalTime().c_str(), true);
    OutputTrace("**********************", true);
}

// The stream belongs to the call in progress on `other` (there is none between calls): a copy
// starts without one, so that it never writes to or closes a stream it does not hold.
CCompensation::CCompensation(const CCompensation& other)
    : m_nMinCount(other.m_nMinCount),
      m_strTraceFile(other.m_strTraceFile),
      m_pTraceFile(nullptr),
      m_pRunRecord(other.m_pRunRecord) {}

CCompensation& CCompensation::operator=(const CCompensation& other) {
    m_nMinCount = other.m_nMinCount;
    m_strTraceFile = other.m_strTraceFile;
    m_pRunRecord = other.m_pRunRecord;
    return *this;
}

CCompensation::~CCompensation() = default;

// A directory that does not fit the buffer is dropped rather than cut: the trace then lands in
// the current directory instead of in a truncated path that may name another directory.
void CCompensation::GetWorkDir(char* pszPath, int nSize) {
    if (pszPath == nullptr || nSize <= 0) {
        return;
    }
    const std::string directory = compensation::platform::TraceDirectory();
    if (directory.size() + 1 > static_cast<std::size_t>(nSize)) {
        pszPath[0] = '\0';
        return;
    }
    std::memcpy(pszPath, directory.c_str(), directory.size() + 1);
}
