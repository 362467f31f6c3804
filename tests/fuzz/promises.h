// The library's promises to its hosts, and the tool's to its users, checked on one input each.
//
// Every Check function decodes its bytes into a call (or a file), makes it, and returns the
// first promise the result broke, or an empty text when all held. The libFuzzer harnesses in
// harness/ abort on a broken promise; the test suite replays the seed corpora and the
// regression inputs through the same functions, so a fault once found stays found without
// libFuzzer.
#ifndef COMPENSATION_TESTS_FUZZ_PROMISES_H
#define COMPENSATION_TESTS_FUZZ_PROMISES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"

namespace compensation::fuzz {

// QuickCompInsertion, FullComp or FullFullComp on arbitrary arrays, counts, pair positions,
// modes, m_nInlineView and starting model. Promises: no model element that was finite on entry
// becomes non-finite; qualities change only to the documented marks; Type, Range and T of every
// host array stay as they were; -1 only with nothing written; 0 only with a final validation.
std::string CheckProcedureInput(const std::uint8_t* data, std::size_t size);

// UpdateTransform, TB_Transform and TB_UpdateTransform on arbitrary points, weights, start and
// model. Promises: only documented statuses; finite parameters on status 0; the start kept on
// -1 and -2; the points, weights and model untouched.
std::string CheckTransformInput(const std::uint8_t* data, std::size_t size);

// The tool's measurement and nominal-point readers on arbitrary text (first byte: the angle
// unit). Promises: a file is refused with a message of bounded length, or read into finite
// measurements of the three types that the write-back gives back unchanged.
std::string CheckMeasurementCsvInput(const std::uint8_t* data, std::size_t size);

// The tool's model and scenario readers on arbitrary text (first byte even: model, odd:
// scenario). Promises: refused with a bounded message, or a finite model that reads back
// bit for bit after writing.
std::string CheckModelScenarioInput(const std::uint8_t* data, std::size_t size);

// The inputs that make a procedure or transform call, as CheckProcedureInput and
// CheckTransformInput decode them: used to turn the bundled examples into seeds.
struct ProcedureCall {
    enum Which : std::uint8_t { kQuick = 0, kFull = 1, kFullFull = 2 } which = kQuick;
    std::int32_t mode = 0;
    std::int32_t positions[6] = {0, 0, 0, 0, 0, 0};  // x0y0, d2, extra
    std::int32_t nTargetsFly = 0;
    std::int32_t inlineView = 0;
    std::uint8_t countTrim[4] = {0, 0, 0, 0};  // each count is the array's length minus this
    bool withModel = false;
    TMapper model{};
    std::vector<CVector> main, outside1, outside2, flying;
};
std::string EncodeProcedureCall(const ProcedureCall& call);

struct TransformCall {
    enum Which : std::uint8_t { kBestFit = 0, kToolingBalls = 1, kToolingBallRefinement = 2 };
    Which which = kBestFit;
    TRANSFORM_PARMS start{};
    bool withModel = false;
    TMapper model{};
    std::vector<CVector> nominal, measured;
    std::vector<double> weights;
};
std::string EncodeTransformCall(const TransformCall& call);

}  // namespace compensation::fuzz

#endif  // COMPENSATION_TESTS_FUZZ_PROMISES_H
