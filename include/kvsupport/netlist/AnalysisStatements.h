#pragma once

#include "kvsupport/containers/YVector.h"
#include "kvsupport/strings/YString.h"

/// One sweep of an analysis: the main sweep of AC, DC, noise and transfer
/// function, the multi-step sweep of any analysis, or the snapshot times of a
/// transient.
struct SweepData {
  /// 0 nothing, 1 a device's value, 2 a parameter, 3 a model parameter,
  /// 4 temperature, 5 frequency, 6 Monte Carlo runs, 7 snapshot.
  int sweepKind = 0;
  /// 0 decade, 1 octave, 2 linear by number of points, 3 linear by step,
  /// 4 list of values, 5 no range.
  int rangeType = 0;
  double start = 0.0;
  double stop = 0.0;
  /// Points per decade or octave (types 0, 1), number of points (type 2),
  /// step (type 3), number of runs (kind 6).
  double points = 0.0;
  /// The fixed frequency (F=) when the main sweep of an AC, noise or transfer
  /// function analysis is not over frequency.
  double frequency = 0.0;
  /// Write the SINGLE keyword.
  bool single = false;
  /// Cores for a multi-step run; written when above 1.
  int numCores = 0;
  /// First run to execute; written when above 0 and a run count is given.
  int runStart = 0;
  /// Number of runs to execute; written when above 0.
  int runCount = 0;
  /// Device name (kind 1) or model name (kind 3).
  YString deviceName;
  /// Parameter name (kinds 2 and 3).
  YString paramName;
  /// Values for range type 4, in order.
  YVector<double> listValues;
};

/// The analysis settings of the front end's analysis dialog that the
/// statement writers read.
struct ChooseAnalData {
  /// Indexes of the per-analysis flags.
  enum Analysis { Transient = 0, AC = 1, DC = 2, Noise = 4, TF = 5 };

  double tranStop = 0.0;
  double tranMaxStep = 0.0;
  double tranStep = 0.0;
  double tranStart = 0.0;
  double tranFast = 0.0;
  bool tranUic = false;
  /// Transfer-function output: 0 a voltage, otherwise a current.
  int tfOutputKind = 0;
  /// Per analysis: false writes the statement as a comment (leading '*').
  bool enabled[8] = {true, true, true, true, true, true, true, true};
  /// Per analysis: the multi-step sweep is in force; false writes it behind
  /// an inline comment.
  bool stepActive[8] = {};
  /// Per analysis: the multi-step sweep clause is written at all.
  bool stepWritten[8] = {};
  double rtnStep = 0.0;
  double rtnStart = 0.0;
  double rtnStop = 0.0;
  bool rtnEnabled = false;
  bool rtnAvailable = false;
  int rtnMode = 0;
  /// 0 DCOP, 1 SAVESTATE, 2 ALL.
  int snapMode = 0;
  SweepData tranStepSweep;
  SweepData acSweep, acStepSweep;
  SweepData dcSweep, dcStepSweep;
  SweepData noiseSweep, noiseStepSweep;
  SweepData tfSweep, tfStepSweep;
  /// Snapshot times of the transient (kind 7 when used).
  SweepData snapshotTimes;
  YString noiseOutput, noiseRef, noiseSource;
  YString tfOutput, tfRef, tfSource;
};

/// Each writer appends one statement line ended by CR LF to *out.
void sp_WriteTransient(const ChooseAnalData &data, YString *out);
void sp_WriteAC(const ChooseAnalData &data, YString *out);
void sp_WriteDCSweep(const ChooseAnalData &data, YString *out);
void sp_WriteNoise(const ChooseAnalData &data, YString *out);
void sp_WriteTF(const ChooseAnalData &data, YString *out);

/// Appends one sweep specification (no line end) to *out. With `spiceStyle`
/// a device sweep is written as " NAME" rather than " DEVICE=NAME" and a
/// frequency sweep without " FREQ"; SINGLE turns it off.
void sp_WriteSweepAnalysis(const SweepData &sweep, YString *out, bool spiceStyle);

/// The step factor and point count of a logarithmic sweep from `start` to
/// `stop` with `pointsPerInterval` points per octave or decade. A count that
/// cannot be computed (zero or mixed-sign bounds) is 0.
void sp_CalculateLogSweepParams(bool octave, double start, double stop, double pointsPerInterval,
                                double *factor, int *count);
