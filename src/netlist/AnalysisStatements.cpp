// The analysis control lines the front end writes into the netlist it hands
// to a simulator. Numbers are written in compact engineering form (4.7k,
// 1Meg) so the lines stay readable when the user edits them by hand.
#include "kvsupport/netlist/AnalysisStatements.h"

#include "kvsupport/netlist/EngineeringNumbers.h"

#include <climits>
#include <cmath>

namespace {

YString eng(double value) { return sp_ConvertRealToJSEng(value, 6, false); }
YString engFine(double value) { return sp_ConvertRealToJSEng(value, 15, false); }

void append(YString *out, const char *text) { *out &= text; }
void append(YString *out, const YString &text) { *out &= text; }

void appendRange(const SweepData &sweep, YString *out) {
  auto triple = [&](const char *keyword) {
    append(out, keyword);
    append(out, eng(sweep.points));
    append(out, " ");
    append(out, eng(sweep.start));
    append(out, " ");
    append(out, eng(sweep.stop));
  };
  switch (sweep.rangeType) {
  case 0:
    triple(" DEC ");
    break;
  case 1:
    triple(" OCT ");
    break;
  case 2:
    triple(" LIN ");
    break;
  case 3:
    append(out, " ");
    append(out, eng(sweep.start));
    append(out, " ");
    append(out, eng(sweep.stop));
    append(out, " ");
    append(out, engFine(sweep.points));
    break;
  case 4:
    if (sweep.listValues.isEmpty())
      break;
    append(out, " LIST ");
    for (double value : sweep.listValues) {
      append(out, " ");
      append(out, eng(value));
    }
    break;
  case 5:
    append(out, " STP 0 0 0");
    break;
  default:
    break;
  }
}

// The statement's opening: '*' when the analysis is disabled.
void begin(const ChooseAnalData &data, int analysis, const char *keyword, YString *out) {
  if (!data.enabled[analysis])
    append(out, "*");
  append(out, keyword);
}

// The multi-step clause and the line end.
void finish(const ChooseAnalData &data, int analysis, const SweepData &stepSweep, YString *out) {
  if (data.stepWritten[analysis]) {
    append(out, data.stepActive[analysis] ? " SWEEP" : " ; SWEEP");
    sp_WriteSweepAnalysis(stepSweep, out, false);
  }
  append(out, "\r\n");
}

YString orZero(const YString &node) { return node.isEmpty() ? YString("0") : node; }

} // namespace

void sp_WriteSweepAnalysis(const SweepData &sweep, YString *out, bool spiceStyle) {
  if (!out)
    return;
  if (sweep.single && sweep.sweepKind != 6) {
    append(out, " SINGLE");
    spiceStyle = false;
  }
  switch (sweep.sweepKind) {
  case 1:
    append(out, spiceStyle ? " " : " DEVICE=");
    append(out, sweep.deviceName);
    appendRange(sweep, out);
    break;
  case 2:
    append(out, " PARAM=");
    append(out, sweep.paramName);
    appendRange(sweep, out);
    break;
  case 3:
    append(out, " MODEL=");
    append(out, sweep.deviceName);
    append(out, " PARAM=");
    append(out, sweep.paramName);
    appendRange(sweep, out);
    break;
  case 4:
    append(out, " TEMP");
    appendRange(sweep, out);
    break;
  case 5:
    if (!spiceStyle)
      append(out, " FREQ");
    appendRange(sweep, out);
    break;
  case 6:
    append(out, " MONTE=");
    append(out, YString(sweep.points));
    break;
  case 7:
    append(out, " SNAPSHOT");
    if (sweep.rangeType == 5) {
      append(out, " STP 0 0 0");
    } else if (sweep.rangeType == 4) {
      appendRange(sweep, out);
    } else {
      append(out, " STP ");
      append(out, eng(sweep.start));
      append(out, " ");
      append(out, eng(sweep.stop));
      append(out, " 1");
    }
    break;
  default:
    break;
  }
  if (sweep.numCores > 1) {
    append(out, " NUMCORES=");
    append(out, YString(sweep.numCores));
  }
  if (sweep.runCount > 0) {
    append(out, " RUNCOUNT=");
    append(out, YString(sweep.runCount));
    if (sweep.runStart > 0) {
      append(out, " RUNSTART=");
      append(out, YString(sweep.runStart));
    }
  }
}

void sp_WriteTransient(const ChooseAnalData &data, YString *out) {
  if (!out)
    return;
  const int analysis = ChooseAnalData::Transient;
  bool rtn = data.rtnEnabled && data.rtnAvailable && data.rtnStep > 0;
  bool snapshots = data.snapshotTimes.sweepKind == 7;
  begin(data, analysis, ".TRAN ", out);
  if (!rtn && data.tranFast == 0 && data.tranStep == 0 && data.tranMaxStep == 0 &&
      data.tranStart == 0 && !data.tranUic && !snapshots) {
    append(out, eng(data.tranStop));
    finish(data, analysis, data.tranStepSweep, out);
    return;
  }
  append(out, eng(data.tranStep));
  append(out, " ");
  append(out, eng(data.tranStop));
  if (data.tranStart != 0 || data.tranMaxStep != 0) {
    append(out, " ");
    append(out, eng(data.tranStart));
  }
  if (data.tranMaxStep != 0) {
    append(out, " ");
    append(out, eng(data.tranMaxStep));
  }
  if (data.tranUic)
    append(out, " UIC");
  if (rtn) {
    append(out, " RTNSTEP=");
    append(out, eng(data.rtnStep));
    if (data.rtnStart > 0) {
      append(out, " RTNSTART=");
      append(out, eng(data.rtnStart));
    }
    if (data.rtnStop > 0 && data.rtnStop != data.tranStop) {
      append(out, " RTNSTOP=");
      append(out, eng(data.rtnStop));
    }
    append(out, " RTNMODE=");
    append(out, YString(data.rtnMode));
  }
  if (data.tranFast != 0) {
    append(out, " FAST=");
    append(out, eng(data.tranFast));
  }
  if (snapshots) {
    const SweepData &times = data.snapshotTimes;
    bool written = false;
    if (times.rangeType == 4 && !times.listValues.isEmpty()) {
      append(out, " SNAPSHOT ");
      for (double value : times.listValues) {
        append(out, " ");
        append(out, eng(value));
      }
      written = true;
    } else if (times.rangeType == 3) {
      append(out, " SNAPSTEP ");
      append(out, eng(times.start));
      append(out, " ");
      append(out, eng(times.stop));
      append(out, " ");
      append(out, engFine(times.points));
      written = true;
    }
    if (written) {
      static const char *const kModes[] = {" SNAPMODE=DCOP", " SNAPMODE=SAVESTATE",
                                           " SNAPMODE=ALL"};
      if (data.snapMode >= 0 && data.snapMode <= 2)
        append(out, kModes[data.snapMode]);
    }
  }
  finish(data, analysis, data.tranStepSweep, out);
}

void sp_WriteAC(const ChooseAnalData &data, YString *out) {
  if (!out)
    return;
  const int analysis = ChooseAnalData::AC;
  const SweepData &sweep = data.acSweep;
  begin(data, analysis, ".AC", out);
  sp_WriteSweepAnalysis(sweep, out, sweep.sweepKind == 5);
  if (sweep.sweepKind != 5) {
    append(out, " F=");
    append(out, YString(sweep.frequency));
  }
  finish(data, analysis, data.acStepSweep, out);
}

void sp_WriteDCSweep(const ChooseAnalData &data, YString *out) {
  if (!out)
    return;
  const int analysis = ChooseAnalData::DC;
  SweepData sweep = data.dcSweep;
  if (sweep.rangeType == 2 && sweep.sweepKind != 6) {
    double divisor = sweep.points - 1;
    if (!(divisor > 1))
      divisor = 1;
    sweep.points = (sweep.stop - sweep.start) / divisor;
    sweep.rangeType = 3;
  }
  begin(data, analysis, ".DC", out);
  sp_WriteSweepAnalysis(sweep, out, sweep.sweepKind == 1);
  finish(data, analysis, data.dcStepSweep, out);
}

void sp_WriteNoise(const ChooseAnalData &data, YString *out) {
  if (!out)
    return;
  const int analysis = ChooseAnalData::Noise;
  const SweepData &sweep = data.noiseSweep;
  begin(data, analysis, ".NOISE", out);
  if (sweep.sweepKind != 5 || data.noiseSource.isEmpty()) {
    sp_WriteSweepAnalysis(sweep, out, false);
    append(out, " V=");
    append(out, data.noiseOutput);
    append(out, " VN=");
    append(out, orZero(data.noiseRef));
    if (!data.noiseSource.isEmpty()) {
      append(out, " INSRC=");
      append(out, data.noiseSource);
    }
    if (sweep.sweepKind != 5) {
      append(out, " F=");
      append(out, YString(sweep.frequency));
    }
  } else {
    append(out, " V(");
    append(out, data.noiseOutput);
    if (!data.noiseRef.isEmpty()) {
      append(out, ", ");
      append(out, data.noiseRef);
    }
    append(out, ") ");
    append(out, data.noiseSource);
    appendRange(sweep, out);
    append(out, " 1");
  }
  finish(data, analysis, data.noiseStepSweep, out);
}

void sp_WriteTF(const ChooseAnalData &data, YString *out) {
  if (!out)
    return;
  const int analysis = ChooseAnalData::TF;
  const SweepData &sweep = data.tfSweep;
  begin(data, analysis, ".TF", out);
  sp_WriteSweepAnalysis(sweep, out, false);
  if (data.tfOutputKind != 0) {
    append(out, " I=");
    append(out, data.tfOutput);
  } else {
    append(out, " V=");
    append(out, data.tfOutput);
    append(out, " VN=");
    append(out, orZero(data.tfRef));
  }
  if (!data.tfSource.isEmpty()) {
    append(out, " INSRC=");
    append(out, data.tfSource);
  }
  if (sweep.sweepKind != 5) {
    append(out, " F=");
    append(out, YString(sweep.frequency));
  }
  finish(data, analysis, data.tfStepSweep, out);
}

void sp_CalculateLogSweepParams(bool octave, double start, double stop, double pointsPerInterval,
                                double *factor, int *count) {
  double base = octave ? 2.0 : 10.0;
  double ratio;
  double stepFactor;
  if (std::fabs(stop) >= std::fabs(start)) {
    stepFactor = std::pow(base, 1.0 / pointsPerInterval);
    ratio = stop / start * 1.000001;
  } else {
    stepFactor = std::pow(base, -1.0 / pointsPerInterval);
    ratio = start / stop * 1.000001;
  }
  double points = std::floor(std::log(ratio) / std::log(base) * pointsPerInterval) + 1;
  if (factor)
    *factor = stepFactor;
  if (count) {
    // Zero or mixed-sign bounds leave no number of points to convert.
    if (!(ratio > 0) || std::isinf(ratio) || std::isnan(points))
      *count = 0;
    else if (points >= static_cast<double>(INT_MAX))
      *count = INT_MAX;
    else if (points <= static_cast<double>(INT_MIN))
      *count = INT_MIN;
    else
      *count = static_cast<int>(points);
  }
}
