#include "kvsupport/netlist/AnalysisStatements.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

using Writer = std::function<void(const ChooseAnalData &, YString *)>;

YString written(const Writer &writer, const ChooseAnalData &data) {
  YString out("prior\r\n");
  writer(data, &out);
  return out;
}

SweepData sweep(int kind, int range, double start, double stop, double points) {
  SweepData s;
  s.sweepKind = kind;
  s.rangeType = range;
  s.start = start;
  s.stop = stop;
  s.points = points;
  return s;
}

TEST(AnalysisStatementsTest, Transient) {
  struct Case {
    std::function<void(ChooseAnalData &)> setUp;
    const char *text;
  } cases[] = {
      {[](ChooseAnalData &d) { d.tranStop = 1e-3; }, ".TRAN 1m\r\n"},
      {[](ChooseAnalData &d) {
         d.tranStop = 1e-3, d.tranStep = 1e-6, d.tranMaxStep = 1e-8, d.tranUic = true;
       },
       ".TRAN 1u 1m 0 10n UIC\r\n"},
      {[](ChooseAnalData &d) {
         d.tranStop = 1e-3, d.tranStart = 1e-4, d.tranFast = 2e-4;
         d.enabled[ChooseAnalData::Transient] = false;
       },
       "*.TRAN 0 1m 100u FAST=200u\r\n"},
      {[](ChooseAnalData &d) {
         d.tranStop = 2e-3, d.rtnEnabled = d.rtnAvailable = true, d.rtnStep = 1e-9;
         d.rtnStart = 1e-5, d.rtnStop = 1e-3, d.rtnMode = 2;
       },
       ".TRAN 0 2m RTNSTEP=1n RTNSTART=10u RTNSTOP=1m RTNMODE=2\r\n"},
      {[](ChooseAnalData &d) { d.tranStop = 1e-3, d.rtnEnabled = true, d.rtnStep = 1e-9; },
       ".TRAN 1m\r\n"},
      {[](ChooseAnalData &d) {
         d.tranStop = 1e-3, d.snapshotTimes = sweep(7, 4, 0, 0, 0), d.snapMode = 1;
         d.snapshotTimes.listValues = {1e-4, 5e-4};
       },
       ".TRAN 0 1m SNAPSHOT  100u 500u SNAPMODE=SAVESTATE\r\n"},
      {[](ChooseAnalData &d) {
         d.tranStop = 1e-3, d.snapshotTimes = sweep(7, 3, 1e-4, 9e-4, 1.0 / 3.0 * 1e-4);
         d.snapMode = 2;
       },
       ".TRAN 0 1m SNAPSTEP 100u 900u 33.3333333333333u SNAPMODE=ALL\r\n"},
      {[](ChooseAnalData &d) {
         d.tranStop = 1e-3, d.stepWritten[0] = d.stepActive[0] = true;
         d.tranStepSweep = sweep(6, 0, 0, 0, 100);
         d.tranStepSweep.numCores = 4;
       },
       ".TRAN 1m SWEEP MONTE=100 NUMCORES=4\r\n"},
  };
  for (const auto &c : cases) {
    ChooseAnalData data;
    c.setUp(data);
    YString expected("prior\r\n");
    expected &= c.text;
    EXPECT_EQ(written(sp_WriteTransient, data), expected) << c.text;
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
      {sweep(4, 3, -40, 125, 0.1), false, " TEMP -40 125 100m"},
      {sweep(5, 0, 1, 1e6, 10), false, " FREQ DEC 10 1 1Meg"},
      {sweep(5, 4, 0, 0, 0), false, " FREQ"},
      {sweep(4, 5, 0, 0, 0), false, " TEMP STP 0 0 0"},
      {sweep(6, 0, 0, 0, 12.5), false, " MONTE=12.5"},
      {sweep(7, 0, 1e-3, 2e-3, 0), false, " SNAPSHOT STP 1m 2m 1"},
  };
  for (auto &c : cases) {
    c.sweep.deviceName = "R1";
    c.sweep.paramName = "P";
    YString out;
    sp_WriteSweepAnalysis(c.sweep, &out, c.spiceStyle);
    EXPECT_STREQ(out.tocs(), c.text);
  }

  SweepData single = sweep(1, 4, 0, 0, 0);
  single.deviceName = "V1";
  single.single = true;
  single.listValues = {1, 2.5};
  single.numCores = 1;
  single.runCount = 3;
  single.runStart = 2;
  YString out;
  sp_WriteSweepAnalysis(single, &out, true);
  EXPECT_STREQ(out.tocs(), " SINGLE DEVICE=V1 LIST  1 2.5 RUNCOUNT=3 RUNSTART=2");
  SweepData monte = sweep(6, 0, 0, 0, 100);
  monte.single = true;
  monte.runStart = 5; // without a run count: not written
  out = "";
  sp_WriteSweepAnalysis(monte, &out, false);
  EXPECT_STREQ(out.tocs(), " MONTE=100");
}

TEST(AnalysisStatementsTest, ACAndDC) {
  ChooseAnalData data;
  data.acSweep = sweep(5, 0, 1, 1e6, 10);
  EXPECT_EQ(written(sp_WriteAC, data), "prior\r\n.AC DEC 10 1 1Meg\r\n");
  data.acSweep = sweep(1, 2, 1e3, 1e4, 10);
  data.acSweep.deviceName = "R1";
  data.acSweep.frequency = 1000;
  data.enabled[ChooseAnalData::AC] = false;
  data.stepWritten[ChooseAnalData::AC] = true;
  data.acStepSweep = sweep(2, 4, 0, 0, 0);
  data.acStepSweep.paramName = "R";
  data.acStepSweep.listValues = {1000, 2000};
  EXPECT_EQ(written(sp_WriteAC, data),
            "prior\r\n*.AC DEVICE=R1 LIN 10 1k 10k F=1000 ; SWEEP PARAM=R LIST  1k 2k\r\n");

  data.dcSweep = sweep(1, 2, 0, 5, 11);
  data.dcSweep.deviceName = "V1";
  EXPECT_EQ(written(sp_WriteDCSweep, data), "prior\r\n.DC V1 0 5 500m\r\n");
  data.dcSweep.points = 1.0; // divisor raised to 1
  EXPECT_EQ(written(sp_WriteDCSweep, data), "prior\r\n.DC V1 0 5 5\r\n");
  data.dcSweep = sweep(2, 0, 1, 100, 5);
  data.dcSweep.paramName = "W";
  EXPECT_EQ(written(sp_WriteDCSweep, data), "prior\r\n.DC PARAM=W DEC 5 1 100\r\n");
}

TEST(AnalysisStatementsTest, NoiseAndTransferFunction) {
  ChooseAnalData data;
  data.noiseSweep = sweep(5, 0, 1, 1e6, 10);
  data.noiseOutput = "out";
  data.noiseSource = "V1";
  EXPECT_EQ(written(sp_WriteNoise, data), "prior\r\n.NOISE V(out) V1 DEC 10 1 1Meg 1\r\n");
  data.noiseRef = "ref";
  EXPECT_EQ(written(sp_WriteNoise, data), "prior\r\n.NOISE V(out, ref) V1 DEC 10 1 1Meg 1\r\n");
  data.noiseSource = "";
  EXPECT_EQ(written(sp_WriteNoise, data), "prior\r\n.NOISE FREQ DEC 10 1 1Meg V=out VN=ref\r\n");
  data.noiseSweep = sweep(4, 2, 0, 100, 11);
  data.noiseSweep.frequency = 1e3;
  data.noiseRef = "";
  data.noiseSource = "V2";
  EXPECT_EQ(written(sp_WriteNoise, data),
            "prior\r\n.NOISE TEMP LIN 11 0 100 V=out VN=0 INSRC=V2 F=1000\r\n");

  data.tfSweep = sweep(5, 1, 1, 1e3, 4);
  data.tfOutput = "n1";
  data.tfSource = "V1";
  EXPECT_EQ(written(sp_WriteTF, data), "prior\r\n.TF FREQ OCT 4 1 1k V=n1 VN=0 INSRC=V1\r\n");
  data.tfOutputKind = 1;
  data.tfOutput = "VSENSE";
  data.tfRef = "ignored";
  data.tfSweep = sweep(0, 0, 0, 0, 0);
  data.tfSweep.frequency = 0.5;
  data.stepWritten[ChooseAnalData::TF] = data.stepActive[ChooseAnalData::TF] = true;
  data.tfStepSweep = sweep(4, 3, 0, 50, 25);
  EXPECT_EQ(written(sp_WriteTF, data),
            "prior\r\n.TF I=VSENSE INSRC=V1 F=0.5 SWEEP TEMP 0 50 25\r\n");
}

TEST(AnalysisStatementsTest, LogSweepParameters) {
  struct Case {
    bool octave;
    double start, stop, points;
    double factor;
    int count;
  } cases[] = {
      {false, 1, 1000, 10, std::pow(10.0, 0.1), 31},
      {false, 1000, 1, 10, std::pow(10.0, -0.1), 31},
      {true, 1, 8, 2, std::pow(2.0, 0.5), 7},
      {false, 1, 1, 5, std::pow(10.0, 0.2), 1},
      {false, -1, -100, 1, 10, 3},
      {false, 0, 1, 10, std::pow(10.0, 0.1), 0},   // no decades from zero
      {false, -1, 10, 10, std::pow(10.0, 0.1), 0}, // bounds of mixed sign
  };
  for (const auto &c : cases) {
    double factor = 0;
    int count = -99;
    sp_CalculateLogSweepParams(c.octave, c.start, c.stop, c.points, &factor, &count);
    EXPECT_DOUBLE_EQ(factor, c.factor) << c.start << " " << c.stop;
    EXPECT_EQ(count, c.count) << c.start << " " << c.stop;
  }
}

} // namespace
