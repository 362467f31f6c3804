// The procedures' shared steps: the budgeted loops, run with counting fits that return scripted
// codes, and the refusal of a fit, which is never added to the other fits' codes and puts the
// host's records back as they were on entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/constants.h"
#include "procedures/procedure_steps.h"

namespace compensation::detail {
namespace {

// A fake fit that returns its scripted codes in turn (the last one again once they run out) and
// logs every call's flag under its name into a log shared with other fits.
class CountingFit {
  public:
    CountingFit(std::string name, std::vector<int> codes, std::string* log)
        : name_(std::move(name)), codes_(std::move(codes)), log_(log) {}
    FitCall Call() {
        return [this](int flag) {
            *log_ += name_ + std::to_string(flag) + " ";
            const std::size_t next = std::min(calls_++, codes_.size() - 1);
            return codes_[next];
        };
    }
    std::size_t calls() const { return calls_; }

  private:
    std::string name_;
    std::vector<int> codes_;
    std::string* log_;
    std::size_t calls_ = 0;
};

TEST(JointLoop, CallsEveryFitToFitInOrderUntilTheSumIsZero) {
    std::string log;
    CountingFit first("a", {2, 2, 0}, &log);
    CountingFit second("b", {0}, &log);
    EXPECT_EQ(JointLoop({first.Call(), second.Call()}, kJointBudget), 0);
    EXPECT_EQ(log, "a1 b1 a1 b1 a1 b1 ");
}

TEST(JointLoop, ReturnsTheSumOfTheCodesOfItsLastEvaluation) {
    std::string log;
    CountingFit interball("i", {21, 26}, &log);  // rejected, then not converged: 47 with the next
    CountingFit twoFace("t", {2, 21}, &log);
    EXPECT_EQ(JointLoop({interball.Call(), twoFace.Call()}, 2), 26 + 21);
}

// The full procedures' budget: the loop ends after the evaluation made with the counter above 50.
TEST(JointLoop, MakesAtMostItsBudgetOfEvaluations) {
    std::string log;
    CountingFit unsettled("u", {2}, &log);
    int evaluations = 0;
    EXPECT_EQ(JointLoop({unsettled.Call()}, &evaluations, kJointBudget), 2);
    EXPECT_EQ(unsettled.calls(), 52u);
    EXPECT_EQ(evaluations, 52);
}

// A loop that shares a budget already used still evaluates once.
TEST(JointLoop, EvaluatesOnceOnASharedBudgetAlreadyUsed) {
    std::string log;
    CountingFit unsettled("u", {2}, &log);
    int evaluations = 60;
    JointLoop({unsettled.Call()}, &evaluations, kJointBudget);
    EXPECT_EQ(unsettled.calls(), 1u);
    EXPECT_EQ(evaluations, 61);
}

TEST(SettleWithin, StopsAtTheFirstSettledEvaluation) {
    std::string log;
    CountingFit settling("s", {2, 2, 0}, &log);
    const FitCall fit = settling.Call();
    int evaluations = 0;
    SettleWithin([&] { return fit(1); }, &evaluations, 50);
    EXPECT_EQ(settling.calls(), 3u);
    EXPECT_EQ(evaluations, 3);
}

TEST(SettleWithin, EvaluatesNotAtAllOnABudgetAlreadyUsed) {
    std::string log;
    CountingFit unsettled("u", {2}, &log);
    const FitCall fit = unsettled.Call();
    int evaluations = 50;
    SettleWithin([&] { return fit(1); }, &evaluations, 50);
    EXPECT_EQ(unsettled.calls(), 0u);
}

TEST(OutlierStage, RerunsTheJointLoopAfterEveryRejection) {
    std::string log;
    CountingFit rejecting("r", {21, 1, 0}, &log);
    CountingFit settled("s", {0}, &log);
    OutlierStage(rejecting.Call(), {settled.Call()}, kJointBudget);
    EXPECT_EQ(log, "r0 s1 r0 s1 r0 ");
}

TEST(OutlierStage, StopsWhenTheJointLoopEndsUnsettled) {
    std::string log;
    CountingFit rejecting("r", {1}, &log);
    CountingFit unsettled("u", {2}, &log);
    OutlierStage(rejecting.Call(), {unsettled.Call()}, kJointBudget);
    EXPECT_EQ(rejecting.calls(), 1u);
    EXPECT_EQ(unsettled.calls(), 52u);
}

// After the first rejection, one more call for each unit of budget begun: a limit of 2.5 allows
// three, and the budget used counts the test that found it spent.
TEST(TwoFaceOutlierPass, RejectsWithinItsBudget) {
    std::string log;
    CountingFit rejecting("r", {1}, &log);
    EXPECT_EQ(TwoFaceOutlierPass(rejecting.Call(), 2.5), 4);
    EXPECT_EQ(log, "r0 r0 r0 r0 ");
}

TEST(TwoFaceOutlierPass, StopsAtTheFirstCallThatDoesNotReject) {
    std::string log;
    CountingFit twice("t", {1, 1, 0}, &log);
    EXPECT_EQ(TwoFaceOutlierPass(twice.Call(), 10.0), 2);
    EXPECT_EQ(twice.calls(), 3u);
    CountingFit never("n", {0}, &log);
    EXPECT_EQ(TwoFaceOutlierPass(never.Call(), 10.0), 0);
    EXPECT_EQ(never.calls(), 1u);
}

TEST(RejectAndSettle, SettlesAfterEveryRejectionCallUpToItsLimit) {
    std::string log;
    CountingFit rejecting("r", {1}, &log);
    EXPECT_EQ(RejectAndSettle(rejecting.Call(), 2.5, [&] { log += "s "; }), 3);
    EXPECT_EQ(log, "r0 s r0 s r0 s ");
    log.clear();
    CountingFit once("o", {1, 2}, &log);  // 2: not settled, and no rejection
    EXPECT_EQ(RejectAndSettle(once.Call(), 2.5, [&] { log += "s "; }), 1);
    EXPECT_EQ(log, "o0 s o0 s ");
}

TEST(RejectWhileRejecting, CallsWhileTheFitRejectsUpToItsLimit) {
    std::string log;
    CountingFit rejecting("r", {21, 26, 0}, &log);
    EXPECT_EQ(RejectWhileRejecting(rejecting.Call(), 10), 2);
    EXPECT_EQ(rejecting.calls(), 3u);
    CountingFit endless("e", {21}, &log);
    EXPECT_EQ(RejectWhileRejecting(endless.Call(), 4), 4);
    EXPECT_EQ(endless.calls(), 4u);
}

// A joint loop whose second fit refuses on its third call, after the first has written the
// model, the record and a mark into the host's array on every call: the refusal is the result
// (never summed with the first fit's 2), and all is as it was on entry.
TEST(UndoneOnRefusal, PutsBackWhatTheStagesWroteBeforeARefusal) {
    std::vector<CVector> host(4);
    TMapper model{};
    TCompOut record{};
    record.m_nConfidence = 7;
    const TMapper modelBefore = model;
    const TCompOut recordBefore = record;
    int calls = 0;
    const FitCall writes = Refusing([&](int) {
        model.A1 += 1.0;
        record.m_nConfidence += 1;
        host[static_cast<std::size_t>(calls % 4)].Quality = kRejectedQuality;
        return 2;  // not converged
    });
    const FitCall refuses = Refusing([&](int) { return ++calls == 3 ? kInvalidInput : 0; });
    const int result = UndoneOnRefusal(&model, &record, {{host.data(), 4}}, [&] {
        for (;;) {
            if (JointLoop({writes, refuses}, 1) != 2) {
                return 0;
            }
        }
    });
    EXPECT_EQ(result, kInvalidInput);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(std::memcmp(&model, &modelBefore, sizeof(TMapper)), 0);
    EXPECT_EQ(std::memcmp(&record, &recordBefore, sizeof(TCompOut)), 0);
    for (const CVector& sight : host) {
        EXPECT_EQ(sight.Quality, CVector().Quality);
    }
}

TEST(UndoneOnRefusal, KeepsWhatStagesWithoutARefusalWrote) {
    std::vector<CVector> host(2);
    TMapper model{};
    TCompOut record{};
    const int result = UndoneOnRefusal(&model, &record, {{host.data(), 2}, {nullptr, 0}}, [&] {
        model.D1 = 1e-6;
        host[1].Quality = kRejectedQuality;
        return 28;
    });
    EXPECT_EQ(result, 28);
    EXPECT_EQ(model.D1, 1e-6);
    EXPECT_EQ(host[1].Quality, kRejectedQuality);
}

// Front sights with the given T.
std::vector<CVector> WithT(const std::vector<double>& temperatures) {
    std::vector<CVector> sights(temperatures.size());
    for (std::size_t i = 0; i < sights.size(); ++i) {
        sights[i].T = temperatures[i];
    }
    return sights;
}

TEST(MeanT, IsThePlainMeanWhereTheSumIsFinite) {
    EXPECT_EQ(MeanT(WithT({20.0, 20.5, 21.25}).data(), 3), (20.0 + 20.5 + 21.25) / 3);
}

// The halves' sum and its doubling round at 1e-16 relative; 1e293 is 1e-15 of the mean.
TEST(MeanT, StaysBetweenTheValuesWhereTheSumOverflows) {
    EXPECT_NEAR(MeanT(WithT({1.7e308, 1.7e308, 1.0e308}).data(), 3), 1.4666666666666667e308, 1e293);
    EXPECT_NEAR(MeanT(WithT({1.7e308, 1.7e308, -1.7e308}).data(), 3), 1.7e308 / 3, 1e293);
}

}  // namespace
}  // namespace compensation::detail
