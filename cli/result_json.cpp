#include "result_json.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace compensation::cli {

namespace {

struct DoubleField {
    const char* name;
    double TCompOut::*member;
};
struct IntField {
    const char* name;
    std::int32_t TCompOut::*member;
};

#define COMPENSATE_FIELD(field) \
    { #field, &TCompOut::field }

constexpr std::array<DoubleField, 24> kDoubleFields = {{
    COMPENSATE_FIELD(m_dStdR_fb),
    COMPENSATE_FIELD(m_dStdAz_fb),
    COMPENSATE_FIELD(m_dStdEl_fb),
    COMPENSATE_FIELD(m_dStdR_fbb),
    COMPENSATE_FIELD(m_dStdAz_fbb),
    COMPENSATE_FIELD(m_dStdEl_fbb),
    COMPENSATE_FIELD(m_dStdOutside),
    COMPENSATE_FIELD(m_dStdExtraOutside),
    COMPENSATE_FIELD(m_dStdInside_f),
    COMPENSATE_FIELD(m_dStdInside_b),
    COMPENSATE_FIELD(m_dStdInside_f_out),
    COMPENSATE_FIELD(m_dStdInside_b_out),
    COMPENSATE_FIELD(m_dStdx0y0),
    COMPENSATE_FIELD(m_dStdaxay),
    COMPENSATE_FIELD(m_dStdIB_fbb),
    COMPENSATE_FIELD(m_dStd2),
    COMPENSATE_FIELD(m_dStdExtraIn),
    COMPENSATE_FIELD(m_dDd2_model),
    COMPENSATE_FIELD(m_dDx0y0_model),
    COMPENSATE_FIELD(m_dDaxay_model),
    COMPENSATE_FIELD(m_dDd2),
    COMPENSATE_FIELD(m_dDx0y0),
    COMPENSATE_FIELD(m_dDaxay),
    COMPENSATE_FIELD(m_dDcm),
}};

constexpr std::array<IntField, 14> kIntFields = {{
    COMPENSATE_FIELD(m_n1_d2),
    COMPENSATE_FIELD(m_n2_d2),
    COMPENSATE_FIELD(m_n1_x0y0),
    COMPENSATE_FIELD(m_n2_x0y0),
    COMPENSATE_FIELD(m_n1_axay),
    COMPENSATE_FIELD(m_n2_axay),
    COMPENSATE_FIELD(m_n1_extra),
    COMPENSATE_FIELD(m_n2_extra),
    COMPENSATE_FIELD(m_n_f),
    COMPENSATE_FIELD(m_n_b),
    COMPENSATE_FIELD(m_n_f_out),
    COMPENSATE_FIELD(m_n_b_out),
    COMPENSATE_FIELD(m_nConfidence),
    COMPENSATE_FIELD(m_nInlineView),
}};

#undef COMPENSATE_FIELD

}  // namespace

nlohmann::ordered_json CompOutToJson(const TCompOut& out) {
    nlohmann::ordered_json json = nlohmann::ordered_json::object();
    for (const DoubleField& field : kDoubleFields) {
        // A spread that is not finite is not representable in JSON; null says so plainly.
        const double value = out.*field.member;
        json[field.name] = std::isfinite(value) ? nlohmann::ordered_json(value) : nullptr;
    }
    for (const IntField& field : kIntFields) {
        json[field.name] = out.*field.member;
    }
    return json;
}

std::vector<QualityChange> QualityChanges(const std::string& name, const MeasurementSet& set,
                                          const std::vector<CVector>& after) {
    std::vector<QualityChange> changes;
    for (std::size_t row = 0; row < set.vectors.size(); ++row) {
        if (after[row].Quality != set.vectors[row].Quality) {
            changes.push_back({name, row, set.lines[row], set.vectors[row].Type,
                               set.vectors[row].Quality, after[row].Quality});
        }
    }
    return changes;
}

std::string MarkMeaning(double oldQuality, double newQuality) {
    if (newQuality == 18.0) {
        return "front sight without a back sight";
    }
    if (newQuality == 60.0) {
        return "outside measurement kept out of the averages, still usable";
    }
    if (newQuality == 50.0) {
        return "rejected";
    }
    if (newQuality == oldQuality - 50.0) {
        return "rejected by a single-term fit";
    }
    return "quality changed";
}

nlohmann::ordered_json ChangesToJson(const std::vector<QualityChange>& changes) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const QualityChange& change : changes) {
        list.push_back({{"set", change.set},
                        {"index", change.index},
                        {"line", change.line},
                        {"type", change.type},
                        {"old_quality", change.oldQuality},
                        {"new_quality", change.newQuality},
                        {"mark", MarkMeaning(change.oldQuality, change.newQuality)}});
    }
    return list;
}

}  // namespace compensation::cli
