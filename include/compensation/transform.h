// Rigid-body transform between nominal target positions and measured ones, and the small
// symmetric solver that every fit of the library shares.
//
// Concurrency: separate CTransform objects may be used on separate threads at the same time;
// one object must not be used from two threads at once (GetNextVector and GetNextVectorCal
// return the object's own result vectors, and the fits below use them).
//
// Status codes common to the fits and evaluators below, besides each one's own:
//   -1  the arguments cannot describe the arrays (a null pointer for a positive count, weights
//       that do not sum to a positive value, a distinguished point without a neighbour, a
//       target position outside the array); nothing was computed and *pParms is unchanged;
//   -2  the working arrays, which grow with the number of points, could not be allocated;
//       *pParms is unchanged.
#ifndef COMPENSATION_TRANSFORM_H
#define COMPENSATION_TRANSFORM_H

#include "compensation/export.h"
#include "compensation/records.h"
#include "compensation/targets.h"
#include "compensation/vector.h"

struct TMapper;
struct TCompOut;

class COMPENSATION_EXPORT CTransform {
  public:
    CTransform();
    CTransform(const CTransform& other);
    CTransform& operator=(const CTransform& other);
    virtual ~CTransform();

    // --- Linear solver ---------------------------------------------------------------------
    // Solves pA x = pB for a symmetric n x n matrix stored row by row, by elimination from the
    // last variable to the first without pivoting. pA and pB are overwritten.
    void SysLinEq(int n, double* pA, double* pB, double* pX);

    // --- Transform core --------------------------------------------------------------------
    void SetTargets(CTarget* p);
    void RotationMatrix(TRANSFORM_PARMS* p, double M[3][3]);
    // pVec[i] carried through the transform, with Range, Azimuth, Elevation recomputed. The
    // result lives in this object and is overwritten by the next call on the same object.
    CVector* GetNextVector(int i, TRANSFORM_PARMS* p, CVector* pVec);
    // As GetNextVector, then un-calibrated with pMap: the reading an instrument with that error
    // model would give.
    CVector* GetNextVectorCal(int i, TRANSFORM_PARMS* p, CVector* pVec, TMapper* pMap);
    // Weighted RMS distance between the Cartesian points of pA and pB.
    double RMS_Transform(CVector* pA, CVector* pB, double* pW, int n);

    // --- Best fit ---------------------------------------------------------------------------
    int UpdateTransform(CVector* pNominal, CVector* pMeasured, int nPoints, TRANSFORM_PARMS* pParms,
                        TMapper* pMap);

    // --- Tooling balls ----------------------------------------------------------------------
    int BasisMatrix(const CVector* pPoints, double M[3][3]);
    int TB_Transform(CVector* pNominal, CVector* pMeasured, double* pW, int nPoints,
                     TRANSFORM_PARMS* pParms, TMapper* pMap);
    int TB_UpdateTransform(CVector* pNominal, CVector* pMeasured, double* pW, int nPoints,
                           TRANSFORM_PARMS* pParms);

    // --- Placement evaluators ---------------------------------------------------------------
    int Evaluate_FSBS(CVector* pVec, TRANSFORM_PARMS* pParms, int nPoints);
    int EvaluateOutside(CVector* pVec, TRANSFORM_PARMS* pParms, int nPoints, TCompOut* pCompOut);
    int EvaluateInside(CVector* pVec, TRANSFORM_PARMS* pParms, TCompOut* pCompOut);
    int Evaluate_x0y0(CVector* pVec, TRANSFORM_PARMS* pParms, int nPoints, TCompOut* pCompOut);
    int Evaluate_axay(CVector* pVec, TRANSFORM_PARMS* pParms, int nPoints, TCompOut* pCompOut,
                      int nMinPairs);
    int EvaluateExtraOutside(CVector* pVec, TRANSFORM_PARMS* pParms, int nPoints,
                             TCompOut* pCompOut, int nSide);

  private:
    CTarget* m_pTargets;
    // The results of GetNextVector and GetNextVectorCal: one pair per object, so that separate
    // objects never share them.
    CVector m_mapped;
    CVector m_reading;
};

#endif  // COMPENSATION_TRANSFORM_H
