// The texts of the trace file, one function per kind of record.
//
// Hosts and service tools parse these lines, so their layout is fixed to the byte: every line
// but the integer one ends with a blank before the line break, the vector's elevation is
// labelled "Elivation", and the record dumps show only the fields listed here.
#ifndef COMPENSATION_ENGINE_TRACE_FORMAT_H
#define COMPENSATION_ENGINE_TRACE_FORMAT_H

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
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

// Appends what "%f" prints: the value's exact decimal expansion rounded to six places, to the
// nearest and ties to even, as glibc's printf converts (exactly, in the default rounding mode).
// A record dump prints dozens of values, and printf's general machinery cost most of the
// trace's formatting; with integers the same digits come at a fraction of the cost. Done where
// the value scaled by 10^6 fits 64 bits, with glibc, in the default rounding mode and with '.'
// as the C locale's decimal point (a host may set another, which printf then prints); any other
// case (infinities, NaN, |value| >= 1e12, other C libraries, whose printf may not convert
// exactly) is printf's.
inline void AppendFixed(std::string& out, double value) {
#if defined(__GLIBC__) && defined(__SIZEOF_INT128__)
    constexpr double kFastLimit = 1e12;  // below 2^40, so that the rounded units fit 64 bits
    const char* point = std::localeconv()->decimal_point;
    if (std::isfinite(value) && std::fabs(value) < kFastLimit &&
        std::fegetround() == FE_TONEAREST && point[0] == '.' && point[1] == '\0') {
        // |value| = m / 2^shift with m an integer below 2^53; |value| < 2^40 makes shift > 13.
        int exponent = 0;
        const double fraction = std::frexp(std::fabs(value), &exponent);
        const auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
        const int shift = 53 - exponent;
        // __extension__: the 128-bit integer is a GCC and Clang type, not ISO C++.
        __extension__ typedef unsigned __int128 Wide;
        const Wide scaled = static_cast<Wide>(m) * 1000000U;  // below 2^73
        std::uint64_t units = 0;                              // |value| 10^6, rounded
        // From shift 75 on, |value| 10^6 < 2^73 / 2^75: rounds to 0.
        if (shift < 75) {
            const Wide quotient = scaled >> shift;
            const Wide remainder = scaled - (quotient << shift);
            const Wide half = static_cast<Wide>(1) << (shift - 1);
            const bool up = remainder > half || (remainder == half && (quotient & 1U) != 0);
            units = static_cast<std::uint64_t>(quotient) + (up ? 1U : 0U);
        }
        if (std::signbit(value)) {
            out += '-';
        }
        char digits[24];
        const std::to_chars_result whole =
            std::to_chars(digits, digits + sizeof digits, units / 1000000U);
        out.append(digits, whole.ptr);
        const std::uint64_t places = units % 1000000U;
        char decimals[7] = {'.', '0', '0', '0', '0', '0', '0'};
        const std::to_chars_result tail = std::to_chars(digits, digits + sizeof digits, places);
        const auto length = static_cast<std::size_t>(tail.ptr - digits);
        std::copy(digits, tail.ptr, decimals + 7 - length);
        out.append(decimals, 7);
        return;
    }
#endif
    AppendFormat(out, "%f", value);
}

// Appends what "%d" prints.
inline void AppendInt(std::string& out, int value) {
    char digits[16];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, end.ptr);
}

inline const char* TraceLabel(const char* text) {
    return text != nullptr ? text : "";
}

// "%s \n": the two most frequent records (the entry and exit lines) are put together
// directly; printf would give the same bytes at several times the cost.
inline std::string TraceTextLine(const char* text) {
    std::string out(TraceLabel(text));
    out += " \n";
    return out;
}

// "       %s = %d\n"; std::to_chars writes an int as "%d" does.
inline std::string TraceIntLine(const char* name, int value) {
    std::string out("       ");
    out += TraceLabel(name);
    out += " = ";
    AppendInt(out, value);
    out += '\n';
    return out;
}

// One line of a record dump: "       <label> = <value> \n", the value as "%f" or "%d".
template <typename Record, typename Value>
struct TraceField {
    const char* label;
    Value Record::*field;
};

template <typename Record, std::size_t N>
void AppendFields(std::string& out, const Record& record,
                  const TraceField<Record, double> (&fields)[N]) {
    for (const TraceField<Record, double>& line : fields) {
        out += "       ";
        out += line.label;
        out += " = ";
        AppendFixed(out, record.*line.field);
        out += " \n";
    }
}

template <typename Record, std::size_t N>
void AppendFields(std::string& out, const Record& record,
                  const TraceField<Record, std::int32_t> (&fields)[N]) {
    for (const TraceField<Record, std::int32_t>& line : fields) {
        out += "       ";
        out += line.label;
        out += " = ";
        AppendInt(out, static_cast<int>(record.*line.field));
        out += " \n";
    }
}

// A record's title line, then its fields table by table; a missing record prints its title
// alone.
template <typename Record, typename... Tables>
std::string TraceRecordLines(const char* title, const Record* record, const Tables&... tables) {
    std::string out;
    // Room for the title and every field line at once, rather than growing line by line.
    constexpr std::size_t kLineRoom = 48;
    out.reserve(kLineRoom * (1 + (std::size(tables) + ... + 0)));
    out += "   ";
    out += TraceLabel(title);
    out += " \n";
    if (record != nullptr) {
        (AppendFields(out, *record, tables), ...);
    }
    return out;
}

inline constexpr TraceField<CVector, double> kTraceVectorDoubles[] = {
    {"Quality  ", &CVector::Quality}, {"Range    ", &CVector::Range},
    {"Azimuth  ", &CVector::Azimuth}, {"Elivation", &CVector::Elevation},
    {"X        ", &CVector::X},       {"Y        ", &CVector::Y},
    {"Z        ", &CVector::Z}};
inline constexpr TraceField<CVector, std::int32_t> kTraceVectorInts[] = {
    {"Type     ", &CVector::Type}, {"FSBS     ", &CVector::FSBS}};

inline std::string TraceVectorLines(const char* title, const CVector* vector) {
    std::string out = TraceRecordLines(title, vector, kTraceVectorDoubles, kTraceVectorInts);
    if (vector != nullptr) {
        out += "       Radian    = ";
        AppendInt(out, vector->Radian ? 1 : 0);
        out += " \n";
    }
    return out;
}

inline constexpr TraceField<TRANSFORM_PARMS, double> kTraceTransformFields[] = {
    {"Alpha", &TRANSFORM_PARMS::Alpha}, {"Beta ", &TRANSFORM_PARMS::Beta},
    {"Gamma", &TRANSFORM_PARMS::Gamma}, {"X    ", &TRANSFORM_PARMS::X},
    {"Y    ", &TRANSFORM_PARMS::Y},     {"Z    ", &TRANSFORM_PARMS::Z}};

inline std::string TraceTransformLines(const char* title, const TRANSFORM_PARMS* transform) {
    return TraceRecordLines(title, transform, kTraceTransformFields);
}

// The result-record dump shows the fields of the quick and full procedures, names padded to
// the longest of them.
inline constexpr TraceField<TCompOut, double> kTraceCompOutDoubles[] = {
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
    {"m_dDaxay          ", &TCompOut::m_dDaxay}};
inline constexpr TraceField<TCompOut, std::int32_t> kTraceCompOutInts[] = {
    {"m_n1_d2           ", &TCompOut::m_n1_d2},   {"m_n2_d2           ", &TCompOut::m_n2_d2},
    {"m_n1_x0y0         ", &TCompOut::m_n1_x0y0}, {"m_n2_x0y0         ", &TCompOut::m_n2_x0y0},
    {"m_n1_axay         ", &TCompOut::m_n1_axay}, {"m_n2_axay         ", &TCompOut::m_n2_axay},
    {"m_n_f             ", &TCompOut::m_n_f},     {"m_n_b             ", &TCompOut::m_n_b},
    {"m_n_f_out         ", &TCompOut::m_n_f_out}, {"m_n_b_out         ", &TCompOut::m_n_b_out}};

inline std::string TraceCompOutLines(const char* title, const TCompOut* result) {
    return TraceRecordLines(title, result, kTraceCompOutDoubles, kTraceCompOutInts);
}

// The model dump shows the elements of the quick and full procedures. The last four labels
// carry no alignment blanks: readers of old traces expect them so.
inline constexpr TraceField<TMapper, double> kTraceMapperLines[] = {
    {"A1     ", &TMapper::A1},      {"A2     ", &TMapper::A2},      {"A3     ", &TMapper::A3},
    {"Ax     ", &TMapper::Ax},      {"Ay     ", &TMapper::Ay},      {"D1     ", &TMapper::D1},
    {"D2     ", &TMapper::D2},      {"X0     ", &TMapper::X0},      {"Y0     ", &TMapper::Y0},
    {"Az_AzC ", &TMapper::Az_AzC},  {"Az_AzS ", &TMapper::Az_AzS},  {"Az_2AzC", &TMapper::Az_2AzC},
    {"Az_2AzS", &TMapper::Az_2AzS}, {"El_2AzC", &TMapper::El_2AzC}, {"El_2AzS", &TMapper::El_2AzS},
    {"El_ElS ", &TMapper::El_ElS},  {"Az_3AzC", &TMapper::Az_3AzC}, {"Az_3AzS", &TMapper::Az_3AzS},
    {"A_plus", &TMapper::A_plus},   {"A_minus", &TMapper::A_minus}, {"B_plus", &TMapper::B_plus},
    {"B_minus", &TMapper::B_minus}};

inline std::string TraceMapperLines(const char* title, const TMapper* model) {
    return TraceRecordLines(title, model, kTraceMapperLines);
}

}  // namespace compensation::detail

#endif  // COMPENSATION_ENGINE_TRACE_FORMAT_H
