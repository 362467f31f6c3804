// The compensation engine: procedures, data selection, fits and the shared arithmetic.
#ifndef COMPENSATION_ENGINE_H
#define COMPENSATION_ENGINE_H

#include <cstdio>
#include <memory>
#include <string>

#include "compensation/export.h"
#include "compensation/mapper.h"
#include "compensation/records.h"
#include "compensation/vector.h"

class CCompensation;

namespace compensation {
struct RunReport;
struct NoiseEstimate;
COMPENSATION_EXPORT RunReport LastRunReport(const CCompensation& engine);
COMPENSATION_EXPORT RunReport LastRunReport(const CCompensation& engine,
                                            const NoiseEstimate& assumedNoise);
namespace detail {
class TraceSession;
struct RunRecord;
}  // namespace detail
void AddUncertainty(const CCompensation& engine, const detail::RunRecord& record,
                    RunReport& report);
}  // namespace compensation

// The object on which a host runs every compensation procedure, selection and fit.
//
// Conventions shared by all members:
// - The host owns every array, the TMapper and the TCompOut. Fits calibrate copies; the host's
//   arrays change only in Quality (rejection marks: 18.0 unpaired front sight, 50.0 rejected,
//   60.0 outside measurement left usable, old value - 50.0 rejected by a single-term fit), in
//   FSBS (set from Type) and, for the selection operations that average views, in units and X, Y,
//   Z.
// - Results are int codes; 0 means done or accepted. Fit codes are distinct small numbers
//   that add up, so the sum a procedure returns tells which fits did not settle.
// - A result of -1 means the arrays, counts or target positions given do not fit together
//   (a position beyond a view, a count beyond an array); nothing has been written.
// - A result of -2 means the working arrays, which grow with the host's counts, could not be
//   allocated. A fit that meets this puts its elements back and reports itself unsettled.
// - A result of -3 from FullComp or FullFullComp means an outside set holds pairs but not one
//   whose two measurements both have Quality above 50: the fit that reads it could not
//   estimate its element (D2, K_minus, El_ElC), yet would report it settled. Nothing has been
//   written.
// - No non-finite value is written into the TMapper: a fit whose solution is not finite puts
//   back the entry values of its elements and returns its "not converged" code.
// - Nothing is thrown.
// - Concurrency: separate CCompensation objects may run on separate threads at the same time
//   (their only shared resource is the trace file, which every write opens, appends to and
//   closes, so lines of two objects may interleave); one object must not be used from two
//   threads at once. The quick procedure prints its summary on std::cout.
//
// The trace file "TraceFile.txt" lies in the host executable's directory, or in the directory
// named by the environment variable COMPENSATION_TRACE_DIR. Not every member writes to it. The
// constructor appends the start banner; AcceptViews, ClassifyFSBS, ClassifyPairs, StdInterball,
// MeanStdArray, CalculateQCFSBS, Calculate_x0y0, Calculate_d2, Calculate_axay and AcceptOutside
// append their own lines; Calculate_cm writes through MeanStdArray, and the procedures and
// FinalValidate through the members they call. The other members write nothing.
// A call holds the file open while it runs and writes each record through; the file is
// complete after every record and closed when the call returns. compensation/tracing.h
// switches the trace off.
class COMPENSATION_EXPORT CCompensation {
  public:
    // Appends the start banner (date and time) to the trace file.
    CCompensation();
    CCompensation(const CCompensation& other);
    CCompensation& operator=(const CCompensation& other);
    virtual ~CCompensation();

    // --- Procedures ------------------------------------------------------------------------
    // Quick compensation: two-face and Ax/Ay terms from one array of views; prints a summary.
    int QuickCompInsertion(CVector* pVec, int nCount, TMapper* pMap, TCompOut* pCompOut);
    // Full compensation: adds the x0y0 pairs and the outside D2 pairs.
    int FullComp(CVector* pVec, int nCount, CVector* pVecOut, int nCountOut, TMapper* pMap,
                 TCompOut* pCompOut);
    // Full-full compensation in mode 0, 1 or 2 (flying views with FBB or check fit, or none).
    int FullFullComp(CVector* pVec, int nCount, CVector* pVecOut1, int nCountOut1,
                     CVector* pVecOut2, int nCountOut2, CVector* pVecFly, int nTargetsFly,
                     int nCountFly, TMapper* pMap, TCompOut* pCompOut, int nMode);

    // --- Final validation ------------------------------------------------------------------
    void FinalValidate(CVector* pVec, int nCount, int nCountViews, TMapper* pMap,
                       TCompOut* pCompOut, int nMode, int nQuiet);
    int StdInterball(CVector* pVecIn, int nCountIn, int nCountViews, int nType, TCompOut* pCompOut,
                     int nFlagUpdate);

    // --- Selection: two-face and pair classification ----------------------------------------
    int ClassifyFSBS(CVector* pVec, int nCount, CVector* pVec_f, CVector* pVec_b, int* pnCount_fb,
                     int nFlagUpdate);
    int AcceptViews(CVector* pVec, int nCount, int nType, int nFlag_0, int nSep);
    int ClassifyPairs(CVector* pVec, int nCount, CVector* pVec_pairs, int n1, int n2,
                      int* pnCountPairs, int nFlagUpdate);
    int ClassifyIBPairs(CVector* pVec, int* pIBPairs, int nCount);

    // --- Selection: outside sets, check views, flying and FBB views --------------------------
    int ClassifyOutside(CVector* pVecOut1, int nCountOut1, CVector* pVecOut2, int nCountOut2,
                        CVector* pVecAvgOut);
    int AcceptFlyingAllViews(CVector* pVec, int nTargets, int nCountAll, double* pGapEl,
                             TCompOut* pCompOut);
    int AverageVectorArray(CVector* pAvg, CVector* pVec, int nTargets, int nViews, double* pStd);
    int RefineVectorArray(CVector* pAvg, CVector* pVec, int nTargets, int nViews, double* pStd);
    int AcceptFCKView(CVector* pAvg, CVector* pVec, int nTargets, int nCountAll, int nView,
                      int nViews, double* pAngle, bool* pLower);
    int AcceptFCKAllViews(CVector* pVec, int nTargets, int nCountAll, double* pGapEl,
                          TCompOut* pCompOut);
    int AcceptFBBView(CVector* pVec, int nCount);
    int AcceptFBBAllViews(CVector* pVec, int nCountPerView, int nCount, double* pGapEl);

    // --- Two-face fits: model terms from front-sight/back-sight differences ----------------
    // nFlagClassify non-zero: convergence call (2 = not settled); zero: outlier call (1 = the
    // worst pair was rejected). 3 or 18: too few live pairs.
    int CalculateQCFSBSa(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                         TCompOut* pCompOut, int nFlagClassify);
    int CalculateQCFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                        TCompOut* pCompOut, int nFlagClassify);
    int CalculateFFCFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                         TCompOut* pCompOut, int nFlagClassify, int bAzHarmonics);
    int CalculateFCFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                        TCompOut* pCompOut, int nFlagClassify);
    int CalculateFFCFSBS6(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                          TCompOut* pCompOut, int nFlagClassify);
    int CalculateFBBFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                         TCompOut* pCompOut, int nFlagClassify);
    int CalculateEFCFSBS(CVector* pVec_f, CVector* pVec_b, TMapper* pMap, int nCount_fb,
                         TCompOut* pCompOut, int nFlagClassify);

    // --- Interball fits: model terms from the constancy of target distances over views -----
    // Result: 21 (a pair was rejected) + 26 (not converged), so 0, 21, 26 or 47.
    int CalculateQC_axy(CVector* pVec, int nCount, int nCountViews, int* pIBPairs, TMapper* pMap,
                        TCompOut* pCompOut, int nFlagClassify);
    int CalculateFFCaxy123(CVector* pVec, int nCount, int nCountViews, int* pIBPairs, TMapper* pMap,
                           TCompOut* pCompOut, int nFlagClassify, int nFlagAzHarmonics);
    int CalculateFFC6axy123(CVector* pVec, int nCount, int nCountViews, int* pIBPairs,
                            TMapper* pMap, TCompOut* pCompOut, int nFlagClassify);
    int CalculateEFCaxy123(CVector* pVec, int nCount, int nCountViews, int* pIBPairs, TMapper* pMap,
                           TCompOut* pCompOut, int nFlagClassify);
    int Calculate_axay(CVector* pVec_axay, int nCount_axay, TMapper* pMap, TCompOut* pCompOut,
                       int nFlagClassify);

    // --- Single-term fits ------------------------------------------------------------------
    int Calculate_x0y0(CVector* pVec_x0y0, int nCount_x0y0, TMapper* pMap, TCompOut* pCompOut,
                       int nFlagClassify);
    int Calculate_d2(CVector* pVecOut, int nCountOut, CVector* pVec_d2, int nCount_d2,
                     TMapper* pMap, TCompOut* pCompOut, int nFlagClassify);
    int Calculate_cm(CVector* pVecOut, int nCountOut, CVector* pVec_cm, int nCount_cm,
                     TMapper* pMap, TCompOut* pCompOut, int nFlagClassify);
    int Calculate_bEl(CVector* pVecRef, CVector* pVec, int nCountViews, int nCount, TMapper* pMap,
                      TCompOut* pCompOut, int nFlagClassify);
    int CalculateFBBIB(CVector* pVec, TMapper* pMap, int nCount, int nCountViews,
                       TCompOut* pCompOut, int nFlagClassify);
    int CalculateFCKIB(CVector* pVec, TMapper* pMap, int nCount, int nCountViews,
                       TCompOut* pCompOut, int nFlagClassify);

    // --- Outside acceptance ----------------------------------------------------------------
    int AcceptOutside(CVector* pVecOut, int* pnCountOut, CVector* pVecNom, TRANSFORM_PARMS* pParms,
                      TCompOut* pCompOut, int nNom1, int nNom2);

    // --- Statistics --------------------------------------------------------------------------
    // Mean of pA[nFrom] .. pA[nTo - 1].
    double Average(double* pA, int nFrom, int nTo);
    // Mean of pA[i] pB[i] over the same stretch.
    double AverageProduct(double* pA, double* pB, int nFrom, int nTo);
    // Mean, sample standard deviation and index of the element farthest from the mean (the
    // earlier one on ties). 1 when nCount < 1, outputs untouched.
    int MeanStdArray(double* pA, int nCount, double* pMean, double* pStd, int* pnOut);

    // --- Model import ----------------------------------------------------------------------
    void CopyCompStructures(TMapper* pMap, ScannerModel* pModel);

    // The pair count the single-term fits and ClassifyPairs measure themselves against:
    // ClassifyPairs and the rejections want more pairs than this, the Ax/Ay, D2 and K_minus fits
    // at least this many, the X0/Y0 fit two more (it also solves a free separation). The full
    // procedures set it from the number of views (views - 3, or the number of views when that
    // is below 6). Until then it is 6, the value a procedure would choose for nine views, so
    // that a fit called directly before any procedure demands a sensible sample.
    int m_nMinCount;

  private:
    friend class compensation::detail::TraceSession;

    void GetWorkDir(char* pszPath, int nSize);

    void OutputTrace(const char* pszText, bool bAppend);
    void OutputTrace(const char* pszName, int nValue);
    void OutputTrace(const char* pszTitle, CVector* pVec);
    void OutputTrace(const char* pszTitle, TRANSFORM_PARMS* pParms);
    void OutputTrace(const char* pszTitle, TCompOut* pCompOut);
    void OutputTrace(const char* pszTitle, TMapper* pMap);

    std::string m_strTraceFile;
    std::FILE* m_pTraceFile;

    // What the last procedure did, for compensation::LastRunReport (run_report.h).
    friend compensation::RunReport compensation::LastRunReport(const CCompensation& engine);
    friend compensation::RunReport compensation::LastRunReport(
        const CCompensation& engine, const compensation::NoiseEstimate& assumedNoise);
    friend void compensation::AddUncertainty(const CCompensation& engine,
                                             const compensation::detail::RunRecord& record,
                                             compensation::RunReport& report);
    std::shared_ptr<const compensation::detail::RunRecord> m_pRunRecord;
};

#endif  // COMPENSATION_ENGINE_H
