// The trace file: every write opens, appends and closes it, so the file is complete after each
// line and no stream stays open between calls. A trace that cannot be opened is skipped; the
// computation never depends on it.
#include <cstdio>

#include "compensation/engine.h"

namespace {

struct NamedDouble {
    const char* label;
    double TCompOut::*field;
};
struct NamedInt {
    const char* label;
    std::int32_t TCompOut::*field;
};

// The result-record dump shows the fields the quick and full procedures fill.
constexpr NamedDouble kCompOutDoubles[] = {
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
constexpr NamedInt kCompOutInts[] = {
    {"m_n1_d2           ", &TCompOut::m_n1_d2},
    {"m_n2_d2           ", &TCompOut::m_n2_d2},
    {"m_n1_x0y0         ", &TCompOut::m_n1_x0y0},
    {"m_n2_x0y0         ", &TCompOut::m_n2_x0y0},
    {"m_n1_axay         ", &TCompOut::m_n1_axay},
    {"m_n2_axay         ", &TCompOut::m_n2_axay},
    {"m_n_f             ", &TCompOut::m_n_f},
    {"m_n_b             ", &TCompOut::m_n_b},
    {"m_n_f_out         ", &TCompOut::m_n_f_out},
    {"m_n_b_out         ", &TCompOut::m_n_b_out},
};

struct NamedElement {
    const char* label;
    double TMapper::*element;
};

// The model dump shows the elements the quick and full procedures fit.
constexpr NamedElement kMapperLines[] = {
    {"A1     ", &TMapper::A1},      {"A2     ", &TMapper::A2},
    {"A3     ", &TMapper::A3},      {"Ax     ", &TMapper::Ax},
    {"Ay     ", &TMapper::Ay},      {"D1     ", &TMapper::D1},
    {"D2     ", &TMapper::D2},      {"X0     ", &TMapper::X0},
    {"Y0     ", &TMapper::Y0},      {"Az_AzC ", &TMapper::Az_AzC},
    {"Az_AzS ", &TMapper::Az_AzS},  {"Az_2AzC", &TMapper::Az_2AzC},
    {"Az_2AzS", &TMapper::Az_2AzS}, {"El_2AzC", &TMapper::El_2AzC},
    {"El_2AzS", &TMapper::El_2AzS}, {"El_ElS ", &TMapper::El_ElS},
    {"Az_3AzC", &TMapper::Az_3AzC}, {"Az_3AzS", &TMapper::Az_3AzS},
    {"A_plus", &TMapper::A_plus},   {"A_minus", &TMapper::A_minus},
    {"B_plus", &TMapper::B_plus},   {"B_minus", &TMapper::B_minus},
};

}  // namespace

void CCompensation::OutputTrace(const char* pszText, bool bAppend) {
    m_pTraceFile = std::fopen(m_strTraceFile.c_str(), bAppend ? "a+" : "w");
    if (m_pTraceFile == nullptr) {
        return;
    }
    std::fprintf(m_pTraceFile, "%s \n", pszText);
    std::fclose(m_pTraceFile);
    m_pTraceFile = nullptr;
}

void CCompensation::OutputTrace(const char* pszName, int nValue) {
    m_pTraceFile = std::fopen(m_strTraceFile.c_str(), "a+");
    if (m_pTraceFile == nullptr) {
        return;
    }
    std::fprintf(m_pTraceFile, "       %s = %d\n", pszName, nValue);
    std::fclose(m_pTraceFile);
    m_pTraceFile = nullptr;
}

void CCompensation::OutputTrace(const char* pszTitle, CVector* pVec) {
    m_pTraceFile = std::fopen(m_strTraceFile.c_str(), "a+");
    if (m_pTraceFile == nullptr) {
        return;
    }
    std::FILE* out = m_pTraceFile;
    std::fprintf(out, "   %s \n", pszTitle);
    if (pVec != nullptr) {
        std::fprintf(out, "       Quality   = %f \n", pVec->Quality);
        std::fprintf(out, "       Range     = %f \n", pVec->Range);
        std::fprintf(out, "       Azimuth   = %f \n", pVec->Azimuth);
        std::fprintf(out, "       Elivation = %f \n", pVec->Elevation);
        std::fprintf(out, "       X         = %f \n", pVec->X);
        std::fprintf(out, "       Y         = %f \n", pVec->Y);
        std::fprintf(out, "       Z         = %f \n", pVec->Z);
        std::fprintf(out, "       Type      = %d \n", static_cast<int>(pVec->Type));
        std::fprintf(out, "       FSBS      = %d \n", static_cast<int>(pVec->FSBS));
        std::fprintf(out, "       Radian    = %d \n", pVec->Radian ? 1 : 0);
    }
    std::fclose(out);
    m_pTraceFile = nullptr;
}

void CCompensation::OutputTrace(const char* pszTitle, TRANSFORM_PARMS* pParms) {
    m_pTraceFile = std::fopen(m_strTraceFile.c_str(), "a+");
    if (m_pTraceFile == nullptr) {
        return;
    }
    std::FILE* out = m_pTraceFile;
    std::fprintf(out, "   %s \n", pszTitle);
    if (pParms != nullptr) {
        std::fprintf(out, "       Alpha = %f \n", pParms->Alpha);
        std::fprintf(out, "       Beta  = %f \n", pParms->Beta);
        std::fprintf(out, "       Gamma = %f \n", pParms->Gamma);
        std::fprintf(out, "       X     = %f \n", pParms->X);
        std::fprintf(out, "       Y     = %f \n", pParms->Y);
        std::fprintf(out, "       Z     = %f \n", pParms->Z);
    }
    std::fclose(out);
    m_pTraceFile = nullptr;
}

void CCompensation::OutputTrace(const char* pszTitle, TCompOut* pCompOut) {
    m_pTraceFile = std::fopen(m_strTraceFile.c_str(), "a+");
    if (m_pTraceFile == nullptr) {
        return;
    }
    std::FILE* out = m_pTraceFile;
    std::fprintf(out, "   %s \n", pszTitle);
    if (pCompOut != nullptr) {
        for (const NamedDouble& line : kCompOutDoubles) {
            std::fprintf(out, "       %s = %f \n", line.label, pCompOut->*line.field);
        }
        for (const NamedInt& line : kCompOutInts) {
            std::fprintf(out, "       %s = %d \n", line.label,
                         static_cast<int>(pCompOut->*line.field));
        }
    }
    std::fclose(out);
    m_pTraceFile = nullptr;
}

void CCompensation::OutputTrace(const char* pszTitle, TMapper* pMap) {
    m_pTraceFile = std::fopen(m_strTraceFile.c_str(), "a+");
    if (m_pTraceFile == nullptr) {
        return;
    }
    std::FILE* out = m_pTraceFile;
    std::fprintf(out, "   %s \n", pszTitle);
    if (pMap != nullptr) {
        for (const NamedElement& line : kMapperLines) {
            std::fprintf(out, "       %s = %f \n", line.label, pMap->*line.element);
        }
    }
    std::fclose(out);
    m_pTraceFile = nullptr;
}
