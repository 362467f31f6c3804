#include "summary.h"

#include <iostream>
#include <ostream>
#include <sstream>

#include "procedures/confidence.h"

namespace compensation::cli {

std::string FormatSummary(const TCompOut& out, int validationMode) {
    // The same text the library prints for the quick procedure, in the tool's output locale.
    std::ostringstream text;
    text.imbue(std::cout.getloc());
    if (const char* header = SummaryHeader(validationMode)) {
        text << header << std::endl << std::endl;
    }
    for (const ConfidenceTerm& term : kConfidenceTerms) {
        if (IsScored(term.when, validationMode)) {
            text << SummaryLine(term, out.*term.field, text.getloc()) << std::endl << std::endl;
        }
    }
    text << " CONFIDENCE = " << out.m_nConfidence << std::endl;
    return text.str();
}

}  // namespace compensation::cli
