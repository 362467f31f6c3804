#include "explain.h"

#include "run_procedure.h"

namespace compensation::cli {

int RunExplain(std::optional<int> code, Procedure procedure, int mode, int viewCount,
               std::optional<compensation::Stage> runStage, std::ostream& out) {
    if (code) {
        out << *code << ": ";
        const std::vector<Explanation> all =
            ExplainResult(*code, procedure, mode, viewCount, runStage);
        if (*code == 0) {
            out << "settled: every fit converged, rejections written back, final validation run\n";
        } else if (all.empty()) {
            out << DescribeResult(*code, procedure, mode, viewCount) << '\n';
        } else {
            out << (all.size() == 1 ? "" : "one of\n");
            for (const Explanation& explanation : all) {
                out << (all.size() == 1 ? "" : "  - ") << explanation.stage << ": ";
                for (std::size_t part = 0; part < explanation.parts.size(); ++part) {
                    out << (part > 0 ? " + " : "") << explanation.parts[part];
                }
                out << '\n';
            }
        }
        return kExitSettled;
    }
    out << "Result codes of compensate " << ProcedureName(procedure);
    if (procedure == Procedure::kFullFull) {
        out << " --mode " << mode;
    }
    out << "\n  0: settled\n  -1: the arrays, counts or target positions do not fit together\n";
    if (procedure != Procedure::kQuick) {
        out << "  " << kNoLiveOutsidePair << ": " << NoLiveOutsidePairReason(procedure, mode)
            << '\n';
    }
    if (procedure == Procedure::kQuick && viewCount == 0) {
        out << "coverage check:\n  7 + b: no usable reference view in azimuth sector b (the "
               "circle is cut into as many sectors as the set has views; --views N lists them)\n";
    }
    for (const Stage& stage : StagesOf(procedure, mode, viewCount)) {
        out << stage.name << (stage.sums ? " (the codes of several sources add up)" : "") << ":\n";
        for (const CodeSource& source : stage.sources) {
            for (const CodeReason& reason : source.codes) {
                out << "  " << reason.code << ": " << source.name << ": " << reason.reason << '\n';
            }
        }
    }
    return kExitSettled;
}

}  // namespace compensation::cli
