#include "kvsupport/netlist/AnalysisStatements.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>

namespace {

SweepData sweep(int kind, int range, double start, double stop, double points) {
  SweepData s;
  s.sweepKind = kind;
  s.rangeType = range;
  s.start = start;
  s.stop = stop;
  s.points = points;
  return s;
}

// Each writer appends its statement to what the text held.
TEST(AnalysisStatementsTest, Statements) {
  struct Case {
    void (*writer)(const ChooseAnalData &, YString *);
    std::function<void(ChooseAnalData &)> setUp;
    const char *text;
  } cases[] = {
      {sp_WriteTransient, // the short form, as without a run-time noise simulator
       [](ChooseAnalData &d) { d.rtnEnabled = true, d.rtnStep = 1e-9; }, ".TRAN 1m\r\n"},
      {sp_WriteTransient,
       [](ChooseAnalData &d) { d.tranStep = 1e-6, d.tranMaxStep = 1e-8, d.tranUic = true; },
       ".TRAN 1u 1m 0 10n UIC\r\n"},
      {sp_WriteTransient,
       [](ChooseAnalData &d) {
         d.tranStart = 1e-4, d.tranFast = 2e-4, d.enabled[ChooseAnalData::Transient] = false;
       },
       "*.TRAN 0 1m 100u FAST=200u\r\n"},
      {sp_WriteTransient,
       [](ChooseAnalData &d) {
         d.tranStop = 2e-3, d.rtnEnabled = d.rtnAvailable = true, d.rtnStep = 1e-9;
         d.rtnStart = 1e-5, d.rtnStop = 1e-3, d.rtnMode = 2;
       },
       ".TRAN 0 2m RTNSTEP=1n RTNSTART=10u RTNSTOP=1m RTNMODE=2\r\n"},
      {sp_WriteTransient,
       [](ChooseAnalData &d) {
         d.snapshotTimes = sweep(7, 3, 1e-4, 9e-4, 1.0 / 3.0 * 1e-4);
         d.snapMode = 2;
       },
       ".TRAN 0 1m SNAPSTEP 100u 900u 33.3333333333333u SNAPMODE=ALL\r\n"},
      {sp_WriteTransient,
       [](ChooseAnalData &d) { d.snapshotTimes = sweep(7, 3, 1e-4, 9e-4, 1e-4), d.snapMode = 3; },
       ".TRAN 0 1m SNAPSTEP 100u 900u 100u\r\n"}, // no mode of that number
      {sp_WriteTransient,
       [](ChooseAnalData &d) {
         d.stepWritten[0] = d.stepActive[0] = true;
         d.tranStepSweep = sweep(6, 0, 0, 0, 100), d.tranStepSweep.numCores = 4;
         d.tranStepSweep.single = true, d.tranStepSweep.runStart = 5; // no run count: not written
       },
       ".TRAN 1m SWEEP MONTE=100 NUMCORES=4\r\n"},
      {sp_WriteAC,
       [](ChooseAnalData &d) {
         d.acSweep = sweep(1, 2, 1e3, 1e4, 10), d.acSweep.deviceName = "R1";
         d.acSweep.frequency = 1000, d.enabled[ChooseAnalData::AC] = false;
         d.stepWritten[ChooseAnalData::AC] = true, d.acStepSweep = sweep(2, 4, 0, 0, 0);
         d.acStepSweep.paramName = "R", d.acStepSweep.listValues = {1000, 2000};
       },
       "*.AC DEVICE=R1 LIN 10 1k 10k F=1000 ; SWEEP PARAM=R LIST  1k 2k\r\n"},
      {sp_WriteDCSweep,
       [](ChooseAnalData &d) { d.dcSweep = sweep(1, 2, 0, 5, 11), d.dcSweep.deviceName = "V1"; },
       ".DC V1 0 5 500m\r\n"},
      {sp_WriteNoise,
       [](ChooseAnalData &d) {
         d.noiseSweep = sweep(5, 0, 1, 1e6, 10), d.noiseOutput = "out", d.noiseRef = "ref";
         d.noiseSource = "V1";
       },
       ".NOISE V(out, ref) V1 DEC 10 1 1Meg 1\r\n"},
      {sp_WriteNoise,
       [](ChooseAnalData &d) {
         d.noiseSweep = sweep(4, 2, 0, 100, 11), d.noiseSweep.frequency = 1e3;
         d.noiseOutput = "out", d.noiseSource = "V2";
       },
       ".NOISE TEMP LIN 11 0 100 V=out VN=0 INSRC=V2 F=1000\r\n"},
      {sp_WriteTF,
       [](ChooseAnalData &d) {
         d.tfOutputKind = 1, d.tfOutput = "VSENSE", d.tfRef = "ignored", d.tfSource = "V1";
         d.tfSweep.frequency = 0.5, d.tfStepSweep = sweep(4, 3, 0, 50, 25);
         d.stepWritten[ChooseAnalData::TF] = d.stepActive[ChooseAnalData::TF] = true;
       },
       ".TF I=VSENSE INSRC=V1 F=0.5 SWEEP TEMP 0 50 25\r\n"},
  };
  for (const auto &c : cases) {
    ChooseAnalData data;
    data.tranStop = 1e-3;
    c.setUp(data);
    YString out("prior\r\n");
    c.writer(data, &out);
    EXPECT_STREQ(out.tocs(), (std::string("prior\r\n") + c.text).c_str());
  }
}

// The step factor and the point count of a logarithmic sweep, in either
// direction; bounds of no common sign give no count, huge counts saturate.
TEST(AnalysisStatementsTest, LogSweepFactorAndCount) {
  const struct {
    bool octave;
    double start, stop, perInterval, factor;
    int count;
  } cases[] = {
      {false, 1, 1000, 10, std::pow(10.0, 0.1), 31},
      {true, 8, 1, 1, 0.5, 4},
      {false, 0, 10, 10, std::pow(10.0, 0.1), 0},
      {false, -1, 10, 10, std::pow(10.0, 0.1), 0},
      {false, 1e-100, 1e100, 1e8, std::pow(10.0, 1e-8), INT_MAX},
      {false, 1e-100, 1e100, -1e8, std::pow(10.0, -1e-8), INT_MIN},
  };
  for (const auto &c : cases) {
    double factor = 0;
    int count = -1;
    sp_CalculateLogSweepParams(c.octave, c.start, c.stop, c.perInterval, &factor, &count);
    EXPECT_EQ(count, c.count) << c.start << " to " << c.stop;
    EXPECT_DOUBLE_EQ(factor, c.factor) << c.start << " to " << c.stop;
  }
}

TEST(AnalysisStatementsTest, SweepSpecifications) {
  struct Case {
    SweepData sweep;
    bool spiceStyle;
    const char *text;
  } cases[] = {
      {sweep(1, 2, 1e3, 1e4, 10), true, " R1 LIN 10 1k 10k"},
      {sweep(2, 0, 1, 1e6, 10), false, " PARAM=P DEC 10 1 1Meg"},
      {sweep(3, 1, 1, 8, 2), false, " MODEL=R1 PARAM=P OCT 2 1 8"},
      {sweep(5, 4, 0, 0, 0), false, " FREQ"},
  };
  for (auto &c : cases) {
    c.sweep.deviceName = "R1";
    c.sweep.paramName = "P";
    YString out;
    sp_WriteSweepAnalysis(c.sweep, &out, c.spiceStyle);
    EXPECT_STREQ(out.tocs(), c.text);
  }

  SweepData single = sweep(1, 4, 0, 0, 0);
  single.deviceName = "V1", single.single = true, single.listValues = {1, 2.5};
  single.numCores = 1, single.runCount = 3, single.runStart = 2;
  YString out;
  sp_WriteSweepAnalysis(single, &out, true);
  EXPECT_STREQ(out.tocs(), " SINGLE DEVICE=V1 LIST  1 2.5 RUNCOUNT=3 RUNSTART=2");
}

} // namespace
