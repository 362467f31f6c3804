// The texts of the trace file, one function per kind of record.
//
// Hosts and service tools parse these lines, so their layout is fixed to the byte: every line
// but the integer one ends with a blank before the line break, the vector's elevation is
// labelled "Elivation", and the record dumps show only the fields listed here.
#ifndef COMPENSATION_ENGINE_TRACE_FORMAT_H
#define COMPENSATION_ENGINE_TRACE_FORMAT_H

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>

#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"

namespace compensation::detail {

// printf into the end of out; a value of any size fits ("%f" of 1e300 is 300 digits long).
// Lines are short: one formatting into a local buffer serves almost all of them.
template <typename... Args>
inline void AppendFormat(std::string& out, const char* format, Args... args) {
    char line[128];
    const int length = std::snprintf(line, sizeof line, format, args...);
    if (length <= 0) {
        return;
    }
    if (static_cast<std::size_t>(length) < sizeof line) {
        out.append(line, static_cast<std::size_t>(length));
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(length) + 1);
    std::snprintf(&out[start], static_cast<std::size_t>(length) + 1, format, args...);
    out.resize(start + static_cast<std::size_t>(length));
}

inline const char* TraceLabel(const char* text) {
    return text != nullptr ? text : "";
}

// "%s \n": the two most frequent records (the entry and exit lines) are put together
// directly; printf would give the same bytes at several times the cost.
inline std::string TraceTextLine(const char* pszText) {
    std::string out(TraceLabel(pszText));
    out += " \n";
    return out;
}

// "       %s = %d\n"; std::to_chars writes an int as "%d" does.
inline std::string TraceIntLine(const char* pszName, int nValue) {
    char digits[16];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, nValue);
    std::string out("       ");
    out += TraceLabel(pszName);
    out += " = ";
    out.append(digits, end.ptr);
    out += '\n';
    return out;
}

// A missing record prints its title alone.
inline std::string TraceVectorLines(const char* pszTitle, const CVector* pVec) {
    std::string out;
    AppendFormat(out, "   %s \n", TraceLabel(pszTitle));
    if (pVec == nullptr) {
        return out;
    }
    AppendFormat(out, "       Quality   = %f \n", pVec->Quality);
    AppendFormat(out, "       Range     = %f \n", pVec->Range);
    AppendFormat(out, "       Azimuth   = %f \n", pVec->Azimuth);
    AppendFormat(out, "       Elivation = %f \n", pVec->Elevation);
    AppendFormat(out, "       X         = %f \n", pVec->X);
    AppendFormat(out, "       Y         = %f \n", pVec->Y);
    AppendFormat(out, "       Z         = %f \n", pVec->Z);
    AppendFormat(out, "       Type      = %d \n", static_cast<int>(pVec->Type));
    AppendFormat(out, "       FSBS      = %d \n", static_cast<int>(pVec->FSBS));
    AppendFormat(out, "       Radian    = %d \n", pVec->Radian ? 1 : 0);
    return out;
}

inline std::string TraceTransformLines(const char* pszTitle, const TRANSFORM_PARMS* pParms) {
    std::string out;
    AppendFormat(out, "   %s \n", TraceLabel(pszTitle));
    if (pParms == nullptr) {
        return out;
    }
    AppendFormat(out, "       Alpha = %f \n", pParms->Alpha);
    AppendFormat(out, "       Beta  = %f \n", pParms->Beta);
    AppendFormat(out, "       Gamma = %f \n", pParms->Gamma);
    AppendFormat(out, "       X     = %f \n", pParms->X);
    AppendFormat(out, "       Y     = %f \n", pParms->Y);
    AppendFormat(out, "       Z     = %f \n", pParms->Z);
    return out;
}

// The result-record dump shows the fields of the quick and full procedures, names padded to
// the longest of them.
struct CompOutDoubleLine {
    const char* label;
    double TCompOut::*field;
};
struct CompOutIntLine {
    const char* label;
    std::int32_t TCompOut::*field;
};

inline constexpr CompOutDoubleLine kTraceCompOutDoubles[] = {
    {"m_dStdR_fb        ", &TCompOut::m_dStdR_fb},
    {"m_dStdAz_fb       ", &TCompOut::m_dStdAz_fb},
    {"m_dStdEl_fb       ", &TCompOut::m_dStdEl_fb},
    {"m_dStdOutside     ", &TCompOut::m_dStdOutside},
    {"m_dStdInside_f    ", &TCompOut::m_dStdInside_f},
    {"m_dStdInside_b    ", &TCompOut::m_dStdInside_b},
    {"m_dStdInside_f_out", &TCompOut::m_dStdInside_f_out},
    {"m_dStdInside_b_out", &TCompOut::m_dStdInside_b_out},
    {"m_dStdx0y0        ", &TCompOut::m_dStdx0y0},
    {"m_dStdaxay        ", &TCompOut::m_dStdaxay},
    {"m_dStd2           ", &TCompOut::m_dStd2},
    {"m_dDd2_model      ", &TCompOut::m_dDd2_model},
    {"m_dDx0y0_model    ", &TCompOut::m_dDx0y0_model},
    {"m_dDaxay_model    ", &TCompOut::m_dDaxay_model},
    {"m_dDd2            ", &TCompOut::m_dDd2},
    {"m_dDx0y0          ", &TCompOut::m_dDx0y0},
    {"m_dDaxay          ", &TCompOut::m_dDaxay},
};
inline constexpr CompOutIntLine kTraceCompOutInts[] = {
    {"m_n1_d2           ", &TCompOut::m_n1_d2},   {"m_n2_d2           ", &TCompOut::m_n2_d2},
    {"m_n1_x0y0         ", &TCompOut::m_n1_x0y0}, {"m_n2_x0y0         ", &TCompOut::m_n2_x0y0},
    {"m_n1_axay         ", &TCompOut::m_n1_axay}, {"m_n2_axay         ", &TCompOut::m_n2_axay},
    {"m_n_f             ", &TCompOut::m_n_f},     {"m_n_b             ", &TCompOut::m_n_b},
    {"m_n_f_out         ", &TCompOut::m_n_f_out}, {"m_n_b_out         ", &TCompOut::m_n_b_out},
};

inline std::string TraceCompOutLines(const char* pszTitle, const TCompOut* pCompOut) {
    std::string out;
    AppendFormat(out, "   %s \n", TraceLabel(pszTitle));
    if (pCompOut == nullptr) {
        return out;
    }
    for (const CompOutDoubleLine& line : kTraceCompOutDoubles) {
        AppendFormat(out, "       %s = %f \n", line.label, pCompOut->*line.field);
    }
    for (const CompOutIntLine& line : kTraceCompOutInts) {
        AppendFormat(out, "       %s = %d \n", line.label, static_cast<int>(pCompOut->*line.field));
    }
    return out;
}

// The model dump shows the elements of the quick and full procedures. The last four labels
// carry no alignment blanks: readers of old traces expect them so.
struct MapperLine {
    const char* label;
    double TMapper::*element;
};

inline constexpr MapperLine kTraceMapperLines[] = {
    {"A1     ", &TMapper::A1},      {"A2     ", &TMapper::A2},      {"A3     ", &TMapper::A3},
    {"Ax     ", &TMapper::Ax},      {"Ay     ", &TMapper::Ay},      {"D1     ", &TMapper::D1},
    {"D2     ", &TMapper::D2},      {"X0     ", &TMapper::X0},      {"Y0     ", &TMapper::Y0},
    {"Az_AzC ", &TMapper::Az_AzC},  {"Az_AzS ", &TMapper::Az_AzS},  {"Az_2AzC", &TMapper::Az_2AzC},
    {"Az_2AzS", &TMapper::Az_2AzS}, {"El_2AzC", &TMapper::El_2AzC}, {"El_2AzS", &TMapper::El_2AzS},
    {"El_ElS ", &TMapper::El_ElS},  {"Az_3AzC", &TMapper::Az_3AzC}, {"Az_3AzS", &TMapper::Az_3AzS},
    {"A_plus", &TMapper::A_plus},   {"A_minus", &TMapper::A_minus}, {"B_plus", &TMapper::B_plus},
    {"B_minus", &TMapper::B_minus},
};

inline std::string TraceMapperLines(const char* pszTitle, const TMapper* pMap) {
    std::string out;
    AppendFormat(out, "   %s \n", TraceLabel(pszTitle));
    if (pMap == nullptr) {
        return out;
    }
    for (const MapperLine& line : kTraceMapperLines) {
        AppendFormat(out, "       %s = %f \n", line.label, pMap->*line.element);
    }
    return out;
}

}  // namespace compensation::detail

#endif  // COMPENSATION_ENGINE_TRACE_FORMAT_H
