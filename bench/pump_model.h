// A model of the monitor's message pump on a timer of any granularity, for the accuracy
// simulation.
//
// The pump runs passes of passMs: it drains the queue, sleeps, and stamps pumpMs at the end of
// the pass. A record that arrives during a pass waits for the drain that follows it, and is
// analysed then, stamped with the whole-millisecond clock of that moment (the drain itself is
// taken to cost no time, so the record's stamp equals the pump stamp just taken).
//
//   pass 15.625 ms, first pass ending at 0:  passes end at 0, 15.625, 31.25, ...
//   a record arriving at 3.0 or at 15.625 -> analysed at 15.625, clock 15
//   a record arriving at 16.0             -> analysed at 31.25, clock 31
#pragma once

#include <cstdint>

struct PumpModel {
    double passMs;         // length of a pass: the 1 ms sleep as the system timer rounds it
    double phaseMs;        // when the first pass ends, in [0, passMs)
    double clockOffsetMs;  // how far into its millisecond the clock is at time 0, in [0, 1)
};

// Returns the time at which a record arriving at arrivalMs is analysed: the end of the first
// pass that ends at or after its arrival.
double AnalysedAtMs(const PumpModel& model, double arrivalMs);

// Returns the clock's whole-millisecond reading at a time.
int64_t ClockAtMs(const PumpModel& model, double timeMs);
