// The transform fits' promises on arbitrary calls.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "byte_reader.h"
#include "compensation/transform.h"
#include "model/mapper_elements.h"
#include "promises.h"

namespace compensation::fuzz {
namespace {

TransformCall DecodeTransformCall(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    TransformCall call;
    call.which = static_cast<TransformCall::Which>(in.Take<std::uint8_t>() % 3);
    for (double TRANSFORM_PARMS::*p :
         {&TRANSFORM_PARMS::Alpha, &TRANSFORM_PARMS::Beta, &TRANSFORM_PARMS::Gamma,
          &TRANSFORM_PARMS::X, &TRANSFORM_PARMS::Y, &TRANSFORM_PARMS::Z}) {
        call.start.*p = in.Take<double>();
    }
    call.withModel = TakeModel(in, &call.model);
    call.nominal = TakeArray(in);
    call.measured = TakeArray(in);
    const auto weights = in.Take<std::uint16_t>();
    for (std::uint16_t i = 0; i < weights && !in.Empty(); ++i) {
        call.weights.push_back(in.Take<double>());
    }
    return call;
}

bool Finite(const TRANSFORM_PARMS& p) {
    return std::isfinite(p.Alpha) && std::isfinite(p.Beta) && std::isfinite(p.Gamma) &&
           std::isfinite(p.X) && std::isfinite(p.Y) && std::isfinite(p.Z);
}

bool SameBytes(const std::vector<CVector>& a, const std::vector<CVector>& b) {
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double fa[] = {a[i].Quality, a[i].Range, a[i].Azimuth, a[i].Elevation,
                             a[i].X,       a[i].Y,     a[i].Z,       a[i].T};
        const double fb[] = {b[i].Quality, b[i].Range, b[i].Azimuth, b[i].Elevation,
                             b[i].X,       b[i].Y,     b[i].Z,       b[i].T};
        if (std::memcmp(fa, fb, sizeof fa) != 0 || a[i].Type != b[i].Type) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string EncodeTransformCall(const TransformCall& call) {
    ByteWriter out;
    out.Put(static_cast<std::uint8_t>(call.which));
    for (double x : {call.start.Alpha, call.start.Beta, call.start.Gamma, call.start.X,
                     call.start.Y, call.start.Z}) {
        out.Put(x);
    }
    PutModel(out, call.withModel, call.model);
    PutArray(out, call.nominal);
    PutArray(out, call.measured);
    out.Put(static_cast<std::uint16_t>(call.weights.size()));
    for (double w : call.weights) {
        out.Put(w);
    }
    return out.Bytes();
}

std::string CheckTransformInput(const std::uint8_t* data, std::size_t size) {
    const TransformCall call = DecodeTransformCall(data, size);
    TransformCall run = call;
    std::size_t n = std::min(call.nominal.size(), call.measured.size());
    if (call.which != TransformCall::kBestFit) {
        n = std::min(n, call.weights.size());
    }
    const int count = static_cast<int>(n);
    CVector* nominal = run.nominal.empty() ? nullptr : run.nominal.data();
    CVector* measured = run.measured.empty() ? nullptr : run.measured.data();
    double* weights = run.weights.empty() ? nullptr : run.weights.data();
    TRANSFORM_PARMS parms = call.start;
    CTransform transform;
    int status = 0;
    // The statuses each fit documents besides -1 and -2.
    std::vector<int> documented = {0, 1, 2};
    switch (call.which) {
        case TransformCall::kBestFit:
            status = transform.UpdateTransform(nominal, measured, count, &parms, &run.model);
            documented.push_back(3);
            break;
        case TransformCall::kToolingBalls:
            status = transform.TB_Transform(nominal, measured, weights, count, &parms, &run.model);
            documented.insert(documented.end(), {4, 5});
            break;
        case TransformCall::kToolingBallRefinement:
            status = transform.TB_UpdateTransform(nominal, measured, weights, count, &parms);
            documented.push_back(3);
            break;
    }
    const std::string prefix = "status " + std::to_string(status) + ": ";
    documented.insert(documented.end(), {-1, -2});
    if (std::find(documented.begin(), documented.end(), status) == documented.end()) {
        return prefix + "not a documented status";
    }
    if (status == 0 && !Finite(parms)) {
        return prefix + "converged to a non-finite transform";
    }
    if ((status == -1 || status == -2) &&
        std::memcmp(&parms, &call.start, sizeof(TRANSFORM_PARMS)) != 0) {
        return prefix + "refused after changing the transform";
    }
    if (!SameBytes(call.nominal, run.nominal) || !SameBytes(call.measured, run.measured) ||
        !std::equal(call.weights.begin(), call.weights.end(), run.weights.begin(),
                    [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }) ||
        std::memcmp(&call.model, &run.model, sizeof(TMapper)) != 0) {
        return prefix + "changed its input points, weights or model";
    }
    return "";
}

}  // namespace compensation::fuzz
