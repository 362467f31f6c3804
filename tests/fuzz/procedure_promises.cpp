// The compensation procedures' promises on arbitrary calls.
#include <cmath>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "byte_reader.h"
#include "compensation/engine.h"
#include "engine/constants.h"
#include "model/mapper_elements.h"
#include "promises.h"

namespace compensation::fuzz {
namespace {

// A value no final validation writes into m_nConfidence, so its survival shows none ran.
constexpr int kNotValidated = -12345;

// The quality marks a procedure may leave in the host's arrays.
constexpr double kUnpaired = 18.0;
constexpr double kRejected = 50.0;
constexpr double kKeptOutOfAverages = 60.0;
constexpr double kSingleTermShift = 50.0;

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameVector(const CVector& a, const CVector& b) {
    const double fa[] = {a.Quality, a.Range, a.Azimuth, a.Elevation, a.X, a.Y, a.Z, a.T};
    const double fb[] = {b.Quality, b.Range, b.Azimuth, b.Elevation, b.X, b.Y, b.Z, b.T};
    for (std::size_t i = 0; i < std::size(fa); ++i) {
        if (!SameBits(fa[i], fb[i])) {
            return false;
        }
    }
    return a.Type == b.Type && a.FSBS == b.FSBS && a.Radian == b.Radian;
}

// A mark the library may write over a quality q0 (a rejection after an outside set's mark
// included).
bool IsDocumentedMark(double q0, double q) {
    return SameBits(q, q0) || q == kUnpaired || q == kRejected || q == kKeptOutOfAverages ||
           q == q0 - kSingleTermShift || q == kKeptOutOfAverages - kSingleTermShift;
}

std::string CheckArray(const char* name, const std::vector<CVector>& before,
                       const std::vector<CVector>& after) {
    for (std::size_t i = 0; i < before.size(); ++i) {
        const CVector& a = before[i];
        const CVector& b = after[i];
        const std::string where = std::string(name) + "[" + std::to_string(i) + "]";
        if (a.Type != b.Type || !SameBits(a.Range, b.Range) || !SameBits(a.T, b.T)) {
            return where + ": Type, Range or T changed";
        }
        if (!IsDocumentedMark(a.Quality, b.Quality)) {
            return where + ": quality " + std::to_string(a.Quality) + " became " +
                   std::to_string(b.Quality) + ", not a documented mark";
        }
    }
    return "";
}

bool SameArrays(const std::vector<CVector>& a, const std::vector<CVector>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!SameVector(a[i], b[i])) {
            return false;
        }
    }
    return true;
}

class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return c; }
};

ProcedureCall DecodeProcedureCall(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    ProcedureCall call;
    call.which = static_cast<ProcedureCall::Which>(in.Take<std::uint8_t>() % 3);
    call.mode = in.Take<std::int32_t>();
    for (std::int32_t& p : call.positions) {
        p = in.Take<std::int32_t>();
    }
    call.nTargetsFly = in.Take<std::int32_t>();
    call.inlineView = in.Take<std::int32_t>();
    for (std::uint8_t& trim : call.countTrim) {
        trim = in.Take<std::uint8_t>();
    }
    call.withModel = TakeModel(in, &call.model);
    call.main = TakeArray(in);
    call.outside1 = TakeArray(in);
    call.outside2 = TakeArray(in);
    call.flying = TakeArray(in);
    return call;
}

int CountOf(const std::vector<CVector>& array, std::uint8_t trim) {
    return static_cast<int>(array.size() - std::min<std::size_t>(trim, array.size()));
}

}  // namespace

std::string EncodeProcedureCall(const ProcedureCall& call) {
    ByteWriter out;
    out.Put(static_cast<std::uint8_t>(call.which));
    out.Put(call.mode);
    for (std::int32_t p : call.positions) {
        out.Put(p);
    }
    out.Put(call.nTargetsFly);
    out.Put(call.inlineView);
    for (std::uint8_t trim : call.countTrim) {
        out.Put(trim);
    }
    PutModel(out, call.withModel, call.model);
    for (const auto* array : {&call.main, &call.outside1, &call.outside2, &call.flying}) {
        PutArray(out, *array);
    }
    return out.Bytes();
}

std::string CheckProcedureInput(const std::uint8_t* data, std::size_t size) {
    const ProcedureCall call = DecodeProcedureCall(data, size);
    ProcedureCall run = call;
    TCompOut out{};
    int TCompOut::*const positions[] = {&TCompOut::m_n1_x0y0,  &TCompOut::m_n2_x0y0,
                                        &TCompOut::m_n1_d2,    &TCompOut::m_n2_d2,
                                        &TCompOut::m_n1_extra, &TCompOut::m_n2_extra};
    for (std::size_t i = 0; i < std::size(positions); ++i) {
        out.*positions[i] = call.positions[i];
    }
    out.m_nInlineView = call.inlineView;
    out.m_nConfidence = kNotValidated;
    const TCompOut outBefore = out;

    // An empty array is passed as a null pointer, as a host without that set would.
    const auto data_of = [](std::vector<CVector>& a) { return a.empty() ? nullptr : a.data(); };
    NullBuffer discard;
    std::streambuf* const previous = std::cout.rdbuf(&discard);
    CCompensation engine;
    int result = 0;
    switch (call.which) {
        case ProcedureCall::kQuick:
            result = engine.QuickCompInsertion(
                data_of(run.main), CountOf(run.main, call.countTrim[0]), &run.model, &out);
            break;
        case ProcedureCall::kFull:
            result = engine.FullComp(data_of(run.main), CountOf(run.main, call.countTrim[0]),
                                     data_of(run.outside1),
                                     CountOf(run.outside1, call.countTrim[1]), &run.model, &out);
            break;
        case ProcedureCall::kFullFull:
            result = engine.FullFullComp(
                data_of(run.main), CountOf(run.main, call.countTrim[0]), data_of(run.outside1),
                CountOf(run.outside1, call.countTrim[1]), data_of(run.outside2),
                CountOf(run.outside2, call.countTrim[2]), data_of(run.flying), call.nTargetsFly,
                CountOf(run.flying, call.countTrim[3]), &run.model, &out, call.mode);
            break;
    }
    std::cout.rdbuf(previous);

    const std::string prefix = "result " + std::to_string(result) + ": ";
    // -3 (an outside set without a live pair) exists only where there is an outside set.
    if (result < compensation::kNoLiveOutsidePair ||
        (result == compensation::kNoLiveOutsidePair && call.which == ProcedureCall::kQuick)) {
        return prefix + "not a documented result";
    }
    for (const MapperElement& e : kMapperElements) {
        if (std::isfinite(call.model.*e.member) && !std::isfinite(run.model.*e.member)) {
            return prefix + "model element " + e.name + " became non-finite";
        }
    }
    const std::pair<const char*, std::vector<CVector> ProcedureCall::*> arrays[] = {
        {"main", &ProcedureCall::main},
        {"outside1", &ProcedureCall::outside1},
        {"outside2", &ProcedureCall::outside2},
        {"flying", &ProcedureCall::flying}};
    for (const auto& [name, array] : arrays) {
        const std::string broken = CheckArray(name, call.*array, run.*array);
        if (!broken.empty()) {
            return prefix + broken;
        }
    }
    // A refusal (-1, or -3 for a dead outside set) comes before anything is written.
    if (result == compensation::kInvalidInput || result == compensation::kNoLiveOutsidePair) {
        const bool untouched =
            std::memcmp(&call.model, &run.model, sizeof(TMapper)) == 0 &&
            std::memcmp(&outBefore, &out, sizeof(TCompOut)) == 0 &&
            SameArrays(call.main, run.main) && SameArrays(call.outside1, run.outside1) &&
            SameArrays(call.outside2, run.outside2) && SameArrays(call.flying, run.flying);
        if (!untouched) {
            return prefix + "refused after writing into the host's records";
        }
    }
    if (result == 0 && out.m_nConfidence == kNotValidated) {
        return prefix + "settled without a final validation";
    }
    return "";
}

}  // namespace compensation::fuzz
