#include "summary.h"

#include <ostream>
#include <sstream>

#include "procedures/confidence.h"

namespace compensation::cli {

std::string FormatSummary(const TCompOut& out, int nValidationMode) {
    std::ostringstream text;
    if (const char* header = SummaryHeader(nValidationMode)) {
        text << header << std::endl << std::endl;
    }
    for (const ConfidenceTerm& term : kConfidenceTerms) {
        if (IsScored(term.when, nValidationMode)) {
            text << SummaryLine(term, out.*term.field) << std::endl << std::endl;
        }
    }
    text << " CONFIDENCE = " << out.m_nConfidence << std::endl;
    return text.str();
}

}  // namespace compensation::cli
